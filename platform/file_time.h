// Calendar times, as the Windows SYSTEMTIME record holds them: in UTC, or the
// machine's local time where said.
#pragma once

#include <cstdint>

namespace platform {

struct SystemTime {
    std::uint16_t year = 0;
    std::uint16_t month = 0;  // 1..12
    std::uint16_t dayOfWeek = 0;
    std::uint16_t day = 0;  // 1..31
    std::uint16_t hour = 0;
    std::uint16_t minute = 0;
    std::uint16_t second = 0;
    std::uint16_t milliseconds = 0;
};

// Seconds since 1970-01-01 UTC to calendar fields in UTC.
SystemTime unix_to_system_time(std::int64_t unixSeconds);

// Calendar fields taken as UTC to seconds since 1970. Fails on fields out of
// range (month 0 or 13, day 0 or past the month's end, hour 24, a year
// before 1601 or after 30827), as SystemTimeToFileTime does.
bool system_time_to_unix(const SystemTime& time, std::int64_t& unixSeconds);

// The machine's local time now, to the second (GetLocalTime).
SystemTime local_time_now();

}  // namespace platform
