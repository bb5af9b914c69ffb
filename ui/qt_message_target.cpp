#include "ui/qt_message_target.h"

#include <QCoreApplication>
#include <QMessageBox>
#include <QThread>

const QEvent::Type UserMessageEvent::kType =
    static_cast<QEvent::Type>(QEvent::registerEventType(QEvent::User + 1024));

QtMessageTarget::QtMessageTarget(QWidget* window) : window_(window) {}

void QtMessageTarget::PostMessage(platform::UINT message, platform::WPARAM wParam,
                                  platform::LPARAM lParam) {
    // postEvent is safe from any thread; the event is dropped if the window
    // is gone, as a message to a destroyed window is.
    if (QWidget* w = window_.data()) {
        QCoreApplication::postEvent(w, new UserMessageEvent(message, wParam, lParam));
    }
}

int QtMessageTarget::MessageBox(std::u16string_view text, std::u16string_view caption,
                                platform::UINT type, platform::BoxOwner owner) {
    const QString qtext = QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
    const QString qcaption =
        QString::fromUtf16(caption.data(), static_cast<qsizetype>(caption.size()));
    if (QThread::currentThread() == thread()) return showBox(qtext, qcaption, type, owner);
    // From the worker: shown by the window's thread, the worker waits.
    int result = platform::IDOK;
    QMetaObject::invokeMethod(
        this, [&] { result = showBox(qtext, qcaption, type, owner); },
        Qt::BlockingQueuedConnection);
    return result;
}

int QtMessageTarget::showBox(const QString& text, const QString& caption, platform::UINT type,
                             platform::BoxOwner owner) {
    QWidget* parent = owner == platform::BoxOwner::Window ? window_.data() : nullptr;
    QMessageBox box(parent);
    box.setWindowTitle(caption);
    box.setText(text);
    box.setIcon((type & platform::MB_ICONINFORMATION) != 0 ? QMessageBox::Information
                                                           : QMessageBox::NoIcon);
    box.setStandardButtons(QMessageBox::Ok);
    box.setWindowModality(parent != nullptr ? Qt::WindowModal : Qt::ApplicationModal);
    box.exec();
    return platform::IDOK;
}
