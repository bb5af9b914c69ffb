// The launcher's message box, as any thread asks for one: the window's (Qt
// or Win32), the terminal of valdora-patch, or a test's recorder shows it.
// A box has its text, its caption and the OK button alone; the thread that
// asks waits until the player has closed it.
#pragma once

#include <string_view>

namespace platform {

enum class BoxOwner {
    Window,  // modal to the window
    None,    // a box of its own, owned by no window
};

enum class BoxIcon {
    None,
    Information,
};

class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;

    // Shows the box and returns once it is closed. Callable from any thread.
    virtual void MessageBox(std::u16string_view text, std::u16string_view caption, BoxIcon icon,
                            BoxOwner owner) = 0;
};

}  // namespace platform
