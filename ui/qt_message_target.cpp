#include "ui/qt_message_target.h"

#include <QCoreApplication>
#include <QThread>

#include "settings/dialog_message_box.h"

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
    QWidget* parent = owner == platform::BoxOwner::Window ? window_.data() : nullptr;
    const auto show = [&] { MakeMessageBox(parent, text, caption, type)->exec(); };
    if (QThread::currentThread() == thread()) {
        show();
    } else {
        // From the worker: shown by the window's thread, the worker waits.
        QMetaObject::invokeMethod(this, show, Qt::BlockingQueuedConnection);
    }
    return platform::IDOK;
}
