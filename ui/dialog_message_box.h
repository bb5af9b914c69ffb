// The launcher's message box in Qt: the one way the window, the settings
// dialog and the patch worker (through the window) show a box.
#pragma once

#include <QMessageBox>
#include <memory>
#include <string_view>

#include "platform/message_box.h"

class QWidget;

// A box as the platform shows one: the caption, the text as plain text, the
// information icon when `icon` asks for it, the OK button only. Owned by
// `owner`, or by no window when it is null.
std::unique_ptr<QMessageBox> MakeMessageBox(QWidget* owner, std::u16string_view text,
                                            std::u16string_view caption, platform::BoxIcon icon);

// Message boxes of a Qt window: the settings dialog shows the memory
// message over itself this way.
class DialogMessageBox : public platform::MessageBoxes {
public:
    explicit DialogMessageBox(QWidget* window) : window_(window) {}

    // Shown modally on the calling (window) thread.
    void MessageBox(std::u16string_view text, std::u16string_view caption, platform::BoxIcon icon,
                    platform::BoxOwner owner) override;

private:
    QWidget* window_;
};
