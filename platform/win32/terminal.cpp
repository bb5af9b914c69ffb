// The Windows console: UTF-8 output and the terminal's escape sequences are
// switched on for it.
#include "platform/terminal.h"

#include <io.h>
#include <windows.h>

namespace platform {
namespace {

HANDLE console_of(std::FILE* out) {
    return reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(out)));
}

}  // namespace

bool open_terminal(std::FILE* out) {
    const HANDLE console = console_of(out);
    DWORD mode = 0;
    if (!::GetConsoleMode(console, &mode)) return false;
    ::SetConsoleOutputCP(CP_UTF8);
    // Windows 10 and later draw "\r\033[K"; an older console prints it.
    return ::SetConsoleMode(console, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}

std::size_t terminal_columns(std::FILE* out) {
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!::GetConsoleScreenBufferInfo(console_of(out), &info)) return 80;
    const int columns = info.srWindow.Right - info.srWindow.Left + 1;
    return columns > 1 ? static_cast<std::size_t>(columns) : 80;
}

}  // namespace platform
