#include "ui/dialog_message_box.h"

#include <QString>

namespace {

QString to_qstring(std::u16string_view text) {
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

std::unique_ptr<QMessageBox> MakeMessageBox(QWidget* owner, std::u16string_view text,
                                            std::u16string_view caption, platform::BoxIcon icon) {
    auto box = std::make_unique<QMessageBox>(owner);
    box->setWindowTitle(to_qstring(caption));
    box->setTextFormat(Qt::PlainText);
    box->setText(to_qstring(text));
    box->setIcon(icon == platform::BoxIcon::Information ? QMessageBox::Information
                                                        : QMessageBox::NoIcon);
    box->setStandardButtons(QMessageBox::Ok);
    return box;
}

void DialogMessageBox::MessageBox(std::u16string_view text, std::u16string_view caption,
                                  platform::BoxIcon icon, platform::BoxOwner owner) {
    MakeMessageBox(owner == platform::BoxOwner::Window ? window_ : nullptr, text, caption, icon)
        ->exec();
}
