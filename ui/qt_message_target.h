// The message target of a Qt window: posted messages become events on the
// window's thread, message boxes are shown on that thread and waited for.
#pragma once

#include <QEvent>
#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QWidget>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

#include "window/window_messages.h"

// A posted (message, wParam, lParam), delivered to the window's event().
class UserMessageEvent : public QEvent {
public:
    static const QEvent::Type kType;
    UserMessageEvent(window::UINT msg, window::WPARAM w, window::LPARAM l)
        : QEvent(kType), message(msg), wParam(w), lParam(l) {}

    const window::UINT message;
    const window::WPARAM wParam;
    const window::LPARAM lParam;
};

class QtMessageTarget : public QObject, public window::MessageTarget {
    Q_OBJECT
public:
    // `window` receives the posted events and owns the boxes.
    explicit QtMessageTarget(QWidget* window);
    ~QtMessageTarget() override;

    void PostMessage(window::UINT message, window::WPARAM wParam, window::LPARAM lParam) override;
    // On the window's thread: shown modally, returns when it is closed. From
    // another thread: shown by the window's thread without stopping it (modal
    // to the window when owned by it, a window of its own otherwise) while
    // the calling thread waits for it to close, or for Close().
    void MessageBox(std::u16string_view text, std::u16string_view caption, platform::BoxIcon icon,
                    platform::BoxOwner owner) override;

    // The window is closing: a box shown for another thread is dismissed, a
    // thread waiting for one goes on at once, and no box is shown any more.
    // Safe when the window's event loop has already ended.
    void Close();

private:
    // One box another thread waits for.
    struct Waiting {
        std::mutex mutex;
        std::condition_variable closed;
        bool done = false;
        void finish();
    };
    void ShowFor(const std::shared_ptr<Waiting>& waiting, const QString& text,
                 const QString& caption, platform::BoxIcon icon, platform::BoxOwner owner);

    QPointer<QWidget> window_;
    std::mutex mutex_;
    bool closed_ = false;
    std::vector<std::shared_ptr<Waiting>> waiting_;
    std::vector<QPointer<QMessageBox>> shown_;  // the window's thread only
};
