#include "platform/system_info.h"

#include <sys/sysinfo.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <limits>

#include "platform/last_error.h"

namespace platform {

std::optional<std::uint32_t> total_physical_memory() {
    struct sysinfo info;
    if (::sysinfo(&info) != 0) {
        set_last_error(errno);
        return std::nullopt;
    }
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

namespace platform {

std::int64_t milliseconds_since_process_start() {
    // Field 22 of /proc/self/stat: the start time in clock ticks since boot.
    std::FILE* f = std::fopen("/proc/self/stat", "re");
    if (f == nullptr) return -1;
    char buffer[1024];
    const std::size_t n = std::fread(buffer, 1, sizeof buffer - 1, f);
    std::fclose(f);
    buffer[n] = '\0';
    const char* p = std::strrchr(buffer, ')');
    if (p == nullptr) return -1;
    unsigned long long start = 0;
    int field = 2;
    for (; *p != '\0' && field < 22; ++p) {
        if (*p == ' ') ++field;
    }
    if (std::sscanf(p, "%llu", &start) != 1) return -1;
    struct timespec now;
    ::clock_gettime(CLOCK_BOOTTIME, &now);
    const long ticks = ::sysconf(_SC_CLK_TCK);
    const std::int64_t startMs =
        static_cast<std::int64_t>(start * 1000 / static_cast<unsigned long long>(ticks));
    return static_cast<std::int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000 - startMs;
}

}  // namespace platform
