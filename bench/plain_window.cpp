// A plain Win32 window of the launcher's size, for bench/window_startup_wine.sh:
// the baseline of launcher.exe's start-up on Windows (under Wine). It
// reports its first frame as the launcher does ("valdora: first frame N ms
// after start", the process's own creation time as the start) and stays
// until it is ended. Built by the benchmark with the bare mingw compiler.
#include <windows.h>

#include <cstdio>

namespace {

long long MillisecondsSinceStart() {
    FILETIME created, exited, kernel, user, now;
    ::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel, &user);
    ::GetSystemTimeAsFileTime(&now);
    const auto ticks = [](const FILETIME& t) {
        return (static_cast<long long>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
    };
    return (ticks(now) - ticks(created)) / 10000;
}

LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    static bool first = true;
    if (message == WM_PAINT) {
        PAINTSTRUCT paint;
        ::BeginPaint(window, &paint);
        ::FillRect(paint.hdc, &paint.rcPaint, static_cast<HBRUSH>(::GetStockObject(GRAY_BRUSH)));
        ::EndPaint(window, &paint);
        if (first)
            std::fprintf(stderr, "valdora: first frame %lld ms after start\n",
                         MillisecondsSinceStart());
        first = false;
        return 0;
    }
    if (message == WM_DESTROY) ::PostQuitMessage(0);
    return ::DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

int main() {
    WNDCLASSW plain{};
    plain.lpfnWndProc = Procedure;
    plain.hInstance = ::GetModuleHandleW(nullptr);
    plain.lpszClassName = L"PlainWindow";
    ::RegisterClassW(&plain);
    const HWND window =
        ::CreateWindowExW(WS_EX_APPWINDOW, L"PlainWindow", L"Plain Win32 window", WS_POPUP, 320,
                          154, 640, 715, nullptr, nullptr, plain.hInstance, nullptr);
    ::ShowWindow(window, SW_SHOW);
    MSG message;
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) ::DispatchMessageW(&message);
    return 0;
}
