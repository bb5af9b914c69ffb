// A per-user marker that says "a launcher is running", by name.
//
// It is an advisory lock on a lock file in the user's runtime directory (on
// Windows a named event of the user's session), so the system frees it when
// its holder ends in any way, kill -9 included.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace platform {

class InstanceMarker {
public:
    ~InstanceMarker();
    InstanceMarker(const InstanceMarker&) = delete;
    InstanceMarker& operator=(const InstanceMarker&) = delete;

    // True when another holder (any process, or another marker object of
    // this one) holds the marker of this name.
    static bool is_held(std::string_view name);
    // Takes the marker; nullptr when it is held already.
    static std::unique_ptr<InstanceMarker> acquire(std::string_view name);

private:
#ifdef _WIN32
    explicit InstanceMarker(std::intptr_t handle) : handle_(handle) {}
    std::intptr_t handle_;  // the event's HANDLE
#else
    explicit InstanceMarker(int fd) : fd_(fd) {}
    int fd_;
#endif
};

// The user's private directory for lock files and the like:
// $XDG_RUNTIME_DIR when usable, else /tmp/valdora-<uid> (created 0700); on
// Windows the user's temporary folder.
std::string runtime_directory();

}  // namespace platform
