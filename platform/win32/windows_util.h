// What the Windows backend's files share: wide text at the system calls,
// handles closed by their owners, file times, the last error recorded.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace platform::win32 {

// UTF-8 (the layer's own form of a native path) and UTF-16, the system's.
std::wstring wide(std::string_view utf8);
std::string utf8(std::wstring_view utf16);

// A launcher path (CP1254, "\" or "/") as the wide system calls take it,
// at any length (long_form).
std::wstring wide_path(std::string_view path);

// A path as the wide system calls take it at any length: one that is 248
// characters or more once made absolute (beyond what CreateDirectoryW and,
// at 260, the other calls take) in its "\\?\" form, absolute with "\"
// between parts ("\\?\UNC\" for a share), which the system passes on
// unparsed up to 32767 characters; a shorter one as it is.
std::wstring long_form(const std::wstring& path);

// Records GetLastError() (or `code`) for platform::last_error(); false.
bool fail_with_last_error();
bool fail_with(DWORD code);

// Whether the security identifier is this process's user's.
bool is_current_user(void* sid);

// Seconds since 1970-01-01 UTC and the system's 100 ns ticks since 1601.
std::int64_t unix_seconds(const FILETIME& time);
FILETIME file_time(std::int64_t unixSeconds);

// A kernel handle, closed when destroyed. Move-only.
class Handle {
public:
    Handle() = default;
    explicit Handle(HANDLE handle) : handle_(handle == INVALID_HANDLE_VALUE ? nullptr : handle) {}
    Handle(Handle&& other) noexcept : handle_(other.release()) {}
    Handle& operator=(Handle&& other) noexcept;
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle();

    HANDLE get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }
    HANDLE release();

private:
    HANDLE handle_ = nullptr;
};

}  // namespace platform::win32
