// Where the patch worker's messages go: the launcher window, the terminal
// of valdora-patch, or a test's recorder.
//
// The worker posts numbered messages with two word-sized arguments and
// never waits for them to be handled. The one exception is a message box,
// which the worker shows through the target and waits for the player to
// close (modal to the window when there is one).
#pragma once

#include <cstdint>
#include <string_view>

namespace platform {

using UINT = std::uint32_t;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;

inline constexpr UINT WM_USER = 0x0400;

// Message box styles and the answer of its only button.
inline constexpr UINT MB_OK = 0x00000000;
inline constexpr UINT MB_ICONINFORMATION = 0x00000040;
inline constexpr int IDOK = 1;

enum class BoxOwner {
    Window,  // modal to the target's window
    None,    // a box of its own, owned by no window
};

class MessageTarget {
public:
    virtual ~MessageTarget() = default;

    // Queues the message for the target's thread and returns at once.
    virtual void PostMessage(UINT message, WPARAM wParam, LPARAM lParam) = 0;

    // Shows a message box and returns the button that closed it. Callable
    // from any thread; blocks that thread until the box is closed.
    virtual int MessageBox(std::u16string_view text, std::u16string_view caption, UINT type,
                           BoxOwner owner) = 0;
};

}  // namespace platform
