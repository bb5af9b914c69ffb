// Owner of the named marker "valdora_patcher" that tells launchers of the
// same user apart: one runs, any other refuses to start.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>

#include "platform/instance_marker.h"

class win32_event {
public:
    struct open_t {};
    struct create_t {};

    // Opens an existing marker; throws std::runtime_error
    // "win32_event: OpenEvent failed" when no other launcher holds it.
    win32_event(open_t, const std::string& name);
    // Creates the marker and holds it until destroyed. Never fails; when
    // another holder got in first, this object holds nothing.
    win32_event(create_t, const std::string& name);

    win32_event(const win32_event&) = delete;
    win32_event& operator=(const win32_event&) = delete;

    // True when this object holds the marker (a created one that got it).
    bool holds() const { return marker_ != nullptr; }

private:
    std::unique_ptr<platform::InstanceMarker> marker_;
};

// The marker's name.
inline constexpr const char* kInstanceEventName = "valdora_patcher";
