// The running-launcher marker on Windows: a named event of the session,
// "valdora_patcher", held by its handle. The system closes the handle when
// the process ends in any way, and the name goes with the last handle.
#include "platform/instance_marker.h"

#include <windows.h>

#include "platform/last_error.h"
#include "platform/win32/windows_util.h"

namespace platform {

using win32::wide;

std::string runtime_directory() {
    // The user's own temporary folder (%TEMP%), for what is kept between runs.
    wchar_t path[MAX_PATH + 1];
    const DWORD n = ::GetTempPathW(MAX_PATH + 1, path);
    if (n == 0 || n > MAX_PATH) return ".";
    std::wstring dir(path, n);
    while (!dir.empty() && (dir.back() == L'\\' || dir.back() == L'/')) dir.pop_back();
    return win32::utf8(dir);
}

InstanceMarker::~InstanceMarker() {
    ::CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

bool InstanceMarker::is_held(std::string_view name) {
    const win32::Handle event(::OpenEventW(SYNCHRONIZE | READ_CONTROL, FALSE, wide(name).c_str()));
    if (!event) set_last_error(static_cast<int>(::GetLastError()));
    return static_cast<bool>(event);
}

std::unique_ptr<InstanceMarker> InstanceMarker::acquire(std::string_view name) {
    // Auto-reset, not signalled: only its name counts.
    win32::Handle event(::CreateEventW(nullptr, FALSE, FALSE, wide(name).c_str()));
    if (!event) {
        win32::fail_with_last_error();
        return nullptr;
    }
    if (::GetLastError() == ERROR_ALREADY_EXISTS) {
        set_last_error(ERROR_ALREADY_EXISTS);
        return nullptr;
    }
    return std::unique_ptr<InstanceMarker>(
        new InstanceMarker(reinterpret_cast<std::intptr_t>(event.release())));
}

}  // namespace platform
