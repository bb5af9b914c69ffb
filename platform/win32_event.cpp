#include "platform/win32_event.h"

win32_event::win32_event(open_t, const std::string& name) {
    if (!platform::InstanceMarker::is_held(name)) {
        throw std::runtime_error("win32_event: OpenEvent failed");
    }
}

win32_event::win32_event(create_t, const std::string& name)
    : marker_(platform::InstanceMarker::acquire(name)) {}
