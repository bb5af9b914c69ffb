// The launcher's message box in Qt: the one way the window, the settings
// dialog and the patch worker (through the window) show a box.
#pragma once

#include <QMessageBox>
#include <memory>
#include <string_view>

#include "platform/message_target.h"

class QWidget;

// A box as the platform shows one: the caption, the text as plain text, the
// information icon when `type` asks for it, the OK button only. Owned by
// `owner`, or by no window when it is null.
std::unique_ptr<QMessageBox> MakeMessageBox(QWidget* owner, std::u16string_view text,
                                            std::u16string_view caption, platform::UINT type);

// Message boxes of a Qt window through the platform's message target: the
// settings dialog shows the memory message over itself this way.
class DialogMessageBox : public platform::MessageTarget {
public:
    explicit DialogMessageBox(QWidget* window) : window_(window) {}

    // A dialog takes no numbered messages; they are dropped.
    void PostMessage(platform::UINT message, platform::WPARAM wParam,
                     platform::LPARAM lParam) override;
    // Shown modally on the calling (window) thread.
    int MessageBox(std::u16string_view text, std::u16string_view caption, platform::UINT type,
                   platform::BoxOwner owner) override;

private:
    QWidget* window_;
};
