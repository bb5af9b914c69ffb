// The game's start handshake on Windows: a manual-reset named event of the
// session, "trovhal" by its own name, as the game opens it.
#include "platform/named_event.h"

#include <windows.h>

#include "platform/last_error.h"
#include "platform/win32/windows_util.h"

namespace platform {

using win32::wide;

std::string NamedEvent::system_name(std::string_view name) {
    return std::string(name);
}

std::unique_ptr<NamedEvent> NamedEvent::create(std::string_view name) {
    std::string systemName = system_name(name);
    HANDLE event = ::CreateEventW(nullptr, TRUE, FALSE, wide(systemName).c_str());
    if (event == nullptr) {
        win32::fail_with_last_error();
        return nullptr;
    }
    // One left signalled by an earlier start that another process still
    // holds: not signalled for this one.
    if (::GetLastError() == ERROR_ALREADY_EXISTS) ::ResetEvent(event);
    return std::unique_ptr<NamedEvent>(new NamedEvent(event, std::move(systemName), true));
}

std::unique_ptr<NamedEvent> NamedEvent::open(std::string_view name) {
    std::string systemName = system_name(name);
    HANDLE event = ::OpenEventW(SYNCHRONIZE | EVENT_MODIFY_STATE, FALSE, wide(systemName).c_str());
    if (event == nullptr) {
        win32::fail_with_last_error();
        return nullptr;
    }
    return std::unique_ptr<NamedEvent>(new NamedEvent(event, std::move(systemName), false));
}

NamedEvent::~NamedEvent() {
    // The name goes with the last handle to it.
    ::CloseHandle(event_);
}

bool NamedEvent::signal() {
    if (!::SetEvent(event_)) return win32::fail_with_last_error();
    return true;
}

bool NamedEvent::wait_for(std::chrono::milliseconds limit) {
    const auto ms = limit.count() < 0 ? 0 : limit.count();
    const DWORD wait = ms >= INFINITE ? INFINITE - 1 : static_cast<DWORD>(ms);
    const DWORD result = ::WaitForSingleObject(event_, wait);
    if (result == WAIT_OBJECT_0) return true;
    set_last_error(static_cast<int>(result == WAIT_TIMEOUT ? ERROR_TIMEOUT : ::GetLastError()));
    return false;
}

}  // namespace platform
