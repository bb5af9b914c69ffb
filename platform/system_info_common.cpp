// The parts of the system facts that are the same on every system.
#include <limits>

#include "platform/system_info.h"

namespace platform {

std::uint32_t saturate_to_u32(std::uint64_t bytes) {
    constexpr std::uint64_t kMax = std::numeric_limits<std::uint32_t>::max();
    return static_cast<std::uint32_t>(bytes > kMax ? kMax : bytes);
}

const char* preferred_window_system(const char* qpaPlatform, const char* waylandDisplay,
                                    const char* display) {
    const auto set = [](const char* v) { return v != nullptr && *v != '\0'; };
    return !set(qpaPlatform) && set(waylandDisplay) && set(display) ? "xcb" : nullptr;
}

}  // namespace platform
