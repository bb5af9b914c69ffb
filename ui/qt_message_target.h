// The message target of a Qt window: posted messages become events on the
// window's thread, message boxes are shown on that thread and waited for.
#pragma once

#include <QEvent>
#include <QObject>
#include <QPointer>
#include <QWidget>

#include "platform/message_target.h"

// A posted (message, wParam, lParam), delivered to the window's event().
class UserMessageEvent : public QEvent {
public:
    static const QEvent::Type kType;
    UserMessageEvent(platform::UINT msg, platform::WPARAM w, platform::LPARAM l)
        : QEvent(kType), message(msg), wParam(w), lParam(l) {}

    const platform::UINT message;
    const platform::WPARAM wParam;
    const platform::LPARAM lParam;
};

class QtMessageTarget : public QObject, public platform::MessageTarget {
    Q_OBJECT
public:
    // `window` receives the posted events and owns the boxes. It must
    // outlive every thread that posts here.
    explicit QtMessageTarget(QWidget* window);

    void PostMessage(platform::UINT message, platform::WPARAM wParam,
                     platform::LPARAM lParam) override;
    int MessageBox(std::u16string_view text, std::u16string_view caption, platform::UINT type,
                   platform::BoxOwner owner) override;

private:
    QPointer<QWidget> window_;
};
