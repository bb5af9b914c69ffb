// Facts about the machine and the system's error texts on Windows.
#include "platform/system_info.h"

#include <windows.h>

#include "platform/codepage.h"
#include "platform/last_error.h"
#include "platform/win32/windows_util.h"

namespace platform {

std::optional<std::uint32_t> total_physical_memory() {
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof status;
    if (!::GlobalMemoryStatusEx(&status)) {
        win32::fail_with_last_error();
        return std::nullopt;
    }
    return saturate_to_u32(status.ullTotalPhys);
}

std::string error_text(int code) {
    // The system's text in the user's language, in the log's code page 1254
    // ("?" for what it lacks), without the line end the system adds.
    wchar_t* text = nullptr;
    const DWORD n = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(code), MAKELANGID(LANG_NEUTRAL, SUBLANG_SYS_DEFAULT),
        reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message(text != nullptr ? text : L"", n);
    ::LocalFree(text);
    while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' ||
                                message.back() == L' ' || message.back() == L'.')) {
        message.pop_back();
    }
    if (message.empty()) return "error " + std::to_string(code);
    std::string bytes, one;
    for (const wchar_t unit : message) {
        bytes += utf16_to_cp1254(std::u16string(1, static_cast<char16_t>(unit)), one) ? one : "?";
    }
    return bytes;
}

std::uint32_t tick_count() {
    return static_cast<std::uint32_t>(::GetTickCount64());
}

std::int64_t milliseconds_since_process_start() {
    FILETIME created, exited, kernel, user, now;
    if (!::GetProcessTimes(::GetCurrentProcess(), &created, &exited, &kernel, &user)) return -1;
    ::GetSystemTimeAsFileTime(&now);
    const auto ticks = [](const FILETIME& t) {
        return static_cast<std::int64_t>((std::uint64_t{t.dwHighDateTime} << 32) | t.dwLowDateTime);
    };
    return (ticks(now) - ticks(created)) / 10000;
}

}  // namespace platform
