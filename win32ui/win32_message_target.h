// The message target of the Win32 window: posted messages go to the
// window's queue (PostMessageW), message boxes are the system's, shown on the
// thread that asks for them.
#pragma once

#include <mutex>
#include <vector>

#include "win32ui/win32.h"

class Win32MessageTarget : public window::MessageTarget {
public:
    Win32MessageTarget() = default;
    Win32MessageTarget(const Win32MessageTarget&) = delete;
    Win32MessageTarget& operator=(const Win32MessageTarget&) = delete;

    // The window that receives the posts and owns the boxes.
    void SetWindow(HWND window) { window_ = window; }

    // Dropped when the window is gone, as a message to a destroyed window is.
    void PostMessage(window::UINT message, window::WPARAM wParam, window::LPARAM lParam) override;
    // MessageBoxW on the calling thread, owned by the window or by none; the
    // calling thread waits until it is closed, or until Close().
    void MessageBox(std::u16string_view text, std::u16string_view caption, platform::BoxIcon icon,
                    platform::BoxOwner owner) override;

    // The window is closing: a box open on another thread is closed, one
    // about to open closes itself at once, and no box is shown any more.
    void Close();

private:
    static LRESULT CALLBACK WatchBoxes(int code, WPARAM wParam, LPARAM lParam);

    HWND window_ = nullptr;
    std::mutex mutex_;
    bool closed_ = false;
    std::vector<HWND> open_;  // boxes shown for other threads
};
