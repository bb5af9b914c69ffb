// Facts about the machine and the system's error texts.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace platform {

// Total physical memory in bytes as an unsigned 32-bit count, the way the
// launcher has always read it: a machine with 4 GiB or more reads as
// 4 GiB - 1, never as a wrapped-around small number. Nothing when the system
// cannot tell (the error is recorded for platform::last_error()).
std::optional<std::uint32_t> total_physical_memory();
std::uint32_t saturate_to_u32(std::uint64_t bytes);

// The Qt platform for the launcher's window, from the session's
// QT_QPA_PLATFORM, WAYLAND_DISPLAY and DISPLAY (null when unset): "xcb"
// (X11 through XWayland) in a Wayland session that has XWayland, since a
// frameless window can neither place nor shape itself under Wayland; null,
// Qt's own choice, otherwise and whenever the user set QT_QPA_PLATFORM.
const char* preferred_window_system(const char* qpaPlatform, const char* waylandDisplay,
                                    const char* display);

// The system's text for an error code (the last error of a failed call);
// on Windows in code page 1254, as the log holds it.
std::string error_text(int code);

// Milliseconds since this process was started (exec included).
std::int64_t milliseconds_since_process_start();

// Milliseconds since an arbitrary start, wrapping at 2^32 like the Windows
// tick count. Monotonic.
std::uint32_t tick_count();

}  // namespace platform
