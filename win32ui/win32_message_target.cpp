#include "win32ui/win32_message_target.h"

#include <string>
#include <string_view>

namespace {

// The target whose box the calling thread is opening.
thread_local Win32MessageTarget* t_opening = nullptr;

}  // namespace

void Win32MessageTarget::PostMessage(window::UINT message, window::WPARAM wParam,
                                     window::LPARAM lParam) {
    if (window_ != nullptr) ::PostMessageW(window_, message, wParam, lParam);
}

// Sees the box's window made on this thread (a thread hook, so the close
// cannot slip in between the check and the box), and closes it at once when
// the window closed meanwhile.
LRESULT CALLBACK Win32MessageTarget::WatchBoxes(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_CREATEWND && t_opening != nullptr) {
        const auto box = reinterpret_cast<HWND>(wParam);
        wchar_t name[16] = {};
        // The box itself (the system's dialog class), not one of its buttons.
        if (::GetClassNameW(box, name, 16) > 0 && std::wstring_view(name) == L"#32770") {
            std::lock_guard<std::mutex> lock(t_opening->mutex_);
            t_opening->open_.push_back(box);
            if (t_opening->closed_) ::PostMessageW(box, WM_CLOSE, 0, 0);
        }
    }
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

void Win32MessageTarget::MessageBox(std::u16string_view text, std::u16string_view caption,
                                    platform::BoxIcon icon, platform::BoxOwner owner) {
    const std::wstring wideText(text.begin(), text.end());
    const std::wstring wideCaption(caption.begin(), caption.end());
    const HWND parent = owner == platform::BoxOwner::Window ? window_ : nullptr;
    const UINT type = MB_OK | (icon == platform::BoxIcon::Information ? MB_ICONINFORMATION : 0);
    if (window_ != nullptr &&
        ::GetWindowThreadProcessId(window_, nullptr) == ::GetCurrentThreadId()) {
        ::MessageBoxW(parent, wideText.c_str(), wideCaption.c_str(), type);
        return;
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (closed_) return;
    }
    t_opening = this;
    HHOOK hook = ::SetWindowsHookExW(WH_CBT, WatchBoxes, nullptr, ::GetCurrentThreadId());
    ::MessageBoxW(parent, wideText.c_str(), wideCaption.c_str(), type);
    if (hook != nullptr) ::UnhookWindowsHookEx(hook);
    t_opening = nullptr;
    std::lock_guard<std::mutex> lock(mutex_);
    open_.clear();
}

void Win32MessageTarget::Close() {
    std::lock_guard<std::mutex> lock(mutex_);
    closed_ = true;
    // A box only has an OK button: closing it answers OK.
    for (const HWND box : open_) ::PostMessageW(box, WM_CLOSE, 0, 0);
}
