#include "platform/win32/windows_util.h"

#include "platform/codepage.h"
#include "platform/file.h"
#include "platform/last_error.h"

namespace platform::win32 {
namespace {

// 1601-01-01 to 1970-01-01 in 100 ns ticks.
constexpr std::int64_t kEpochTicks = 116444736000000000;
constexpr std::int64_t kTicksPerSecond = 10000000;

}  // namespace

std::wstring wide(std::string_view text) {
    const std::u16string units = utf8_to_utf16(text);
    return std::wstring(units.begin(), units.end());
}

std::string utf8(std::wstring_view text) {
    return utf16_to_utf8(std::u16string(text.begin(), text.end()));
}

std::wstring wide_path(std::string_view path) {
    return long_form(wide(native_path(path)));
}

std::wstring long_form(const std::wstring& path) {
    constexpr DWORD kShort = MAX_PATH - 12;
    // The length of the absolute path, its NUL included; no file is looked at.
    const DWORD needed = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (needed <= kShort) return path;
    std::wstring full(needed, L'\0');
    const DWORD n = ::GetFullPathNameW(path.c_str(), needed, full.data(), nullptr);
    if (n == 0 || n >= needed) return path;
    full.resize(n);
    if (full.rfind(L"\\\\?\\", 0) == 0 || full.rfind(L"\\\\.\\", 0) == 0) return full;
    if (full.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + full.substr(2);
    return L"\\\\?\\" + full;
}

bool fail_with_last_error() {
    return fail_with(::GetLastError());
}

bool fail_with(DWORD code) {
    set_last_error(static_cast<int>(code));
    return false;
}

std::int64_t unix_seconds(const FILETIME& time) {
    const auto ticks =
        static_cast<std::int64_t>((std::uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime);
    const std::int64_t since = ticks - kEpochTicks;
    // Whole seconds, rounded down also before 1970.
    return since >= 0 ? since / kTicksPerSecond
                      : -((-since + kTicksPerSecond - 1) / kTicksPerSecond);
}

FILETIME file_time(std::int64_t unixSeconds) {
    const auto ticks = static_cast<std::uint64_t>(unixSeconds * kTicksPerSecond + kEpochTicks);
    FILETIME time;
    time.dwLowDateTime = static_cast<DWORD>(ticks);
    time.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    return time;
}

bool is_current_user(void* sid) {
    Handle token;
    HANDLE opened = nullptr;
    if (::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &opened)) token = Handle(opened);
    alignas(TOKEN_USER) char buffer[256];
    DWORD size = 0;
    if (!token || !::GetTokenInformation(token.get(), TokenUser, buffer, sizeof buffer, &size)) {
        return false;
    }
    return ::EqualSid(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, sid) != 0;
}

Handle& Handle::operator=(Handle&& other) noexcept {
    if (this != &other) {
        if (handle_ != nullptr) ::CloseHandle(handle_);
        handle_ = other.release();
    }
    return *this;
}

Handle::~Handle() {
    if (handle_ != nullptr) ::CloseHandle(handle_);
}

HANDLE Handle::release() {
    HANDLE handle = handle_;
    handle_ = nullptr;
    return handle;
}

}  // namespace platform::win32
