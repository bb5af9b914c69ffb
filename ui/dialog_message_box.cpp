#include "ui/dialog_message_box.h"

#include <QString>

namespace {

QString to_qstring(std::u16string_view text) {
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

std::unique_ptr<QMessageBox> MakeMessageBox(QWidget* owner, std::u16string_view text,
                                            std::u16string_view caption, platform::UINT type) {
    auto box = std::make_unique<QMessageBox>(owner);
    box->setWindowTitle(to_qstring(caption));
    box->setTextFormat(Qt::PlainText);
    box->setText(to_qstring(text));
    constexpr platform::UINT kIconMask = 0xF0;
    box->setIcon((type & kIconMask) == platform::MB_ICONINFORMATION ? QMessageBox::Information
                                                                    : QMessageBox::NoIcon);
    box->setStandardButtons(QMessageBox::Ok);
    return box;
}

void DialogMessageBox::PostMessage(platform::UINT, platform::WPARAM, platform::LPARAM) {}

int DialogMessageBox::MessageBox(std::u16string_view text, std::u16string_view caption,
                                 platform::UINT type, platform::BoxOwner owner) {
    MakeMessageBox(owner == platform::BoxOwner::Window ? window_ : nullptr, text, caption, type)
        ->exec();
    return platform::IDOK;
}
