#include "platform/system_info.h"

#include <sys/sysinfo.h>

#include <cstring>
#include <ctime>
#include <limits>

namespace platform {

std::uint32_t saturate_to_u32(std::uint64_t bytes) {
    constexpr std::uint64_t kMax = std::numeric_limits<std::uint32_t>::max();
    return static_cast<std::uint32_t>(bytes > kMax ? kMax : bytes);
}

std::uint32_t total_physical_memory() {
    struct sysinfo info;
    if (::sysinfo(&info) != 0) return 0;
    const std::uint64_t unit = info.mem_unit == 0 ? 1 : info.mem_unit;
    const std::uint64_t total = static_cast<std::uint64_t>(info.totalram);
    // A product beyond 64 bits is far beyond 4 GiB as well.
    if (total != 0 && unit > std::numeric_limits<std::uint64_t>::max() / total) {
        return std::numeric_limits<std::uint32_t>::max();
    }
    return saturate_to_u32(total * unit);
}

std::string error_text(int code) {
    char buffer[256];
    // GNU strerror_r returns the text, which may or may not be in buffer.
    const char* text = ::strerror_r(code, buffer, sizeof buffer);
    return text != nullptr ? std::string(text) : std::string();
}

std::uint32_t tick_count() {
    struct timespec now;
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    const std::uint64_t ms = static_cast<std::uint64_t>(now.tv_sec) * 1000u +
                             static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
    return static_cast<std::uint32_t>(ms);
}

}  // namespace platform
