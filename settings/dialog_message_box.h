// Message boxes of a Qt window through the platform's message target: the
// settings dialog shows the memory message over itself this way.
#pragma once

#include "platform/message_target.h"

class QWidget;

class DialogMessageBox : public platform::MessageTarget {
public:
    explicit DialogMessageBox(QWidget* window) : window_(window) {}

    // A dialog takes no numbered messages; they are dropped.
    void PostMessage(platform::UINT message, platform::WPARAM wParam,
                     platform::LPARAM lParam) override;
    // Shown modally on the calling (window) thread. The OK button only; the
    // information icon when asked for.
    int MessageBox(std::u16string_view text, std::u16string_view caption, platform::UINT type,
                   platform::BoxOwner owner) override;

private:
    QWidget* window_;
};
