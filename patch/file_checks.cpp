#include "patch/file_checks.h"

#include <cstdio>

#include "log/launcher_log.h"
#include "platform/file_time.h"
#include "platform/last_error.h"

namespace {

bool is_blank(char c) {
    // What a stream skips in the classic locale, and the "." and ":" that
    // the reading turns into blanks first.
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r' || c == '.' ||
           c == ':';
}

// One field as `stream >> field` reads an unsigned 16-bit number: blanks
// skipped, an optional sign, decimal digits, a minus taken modulo 2^16. No
// digits store 0 and a value past 65535 stores 65535, and both fail; the
// end of the text before a field fails and leaves the field alone. A
// failure ends the reading.
bool read_field(std::string_view text, std::size_t& at, std::uint16_t& field) {
    while (at < text.size() && is_blank(text[at])) ++at;
    if (at == text.size()) return false;
    bool negative = false;
    if (text[at] == '-' || text[at] == '+') negative = text[at++] == '-';
    bool digits = false;
    std::uint32_t value = 0;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
        digits = true;
        if (value <= 0xFFFF) value = value * 10 + static_cast<std::uint32_t>(text[at] - '0');
    }
    if (!digits || value > 0xFFFF) {
        field = digits ? 0xFFFF : 0;
        return false;
    }
    field = static_cast<std::uint16_t>(negative ? 0x10000 - value : value);
    return true;
}

// The file's last-write time in UTC; false, with GetLastWriteTime's log
// lines, when it cannot be read.
bool read_last_write_time(const platform::File& file, platform::SystemTime& time) {
    if (!file.valid()) {
        WriteLauncherLog("Error opening file in GetLastWriteTime(): %d", platform::last_error());
        return false;
    }
    std::int64_t seconds = 0;
    if (!file.last_write_time(seconds)) {
        WriteLauncherLog("GetFileTime() error: %d", platform::last_error());
        return false;
    }
    time = platform::unix_to_system_time(seconds);
    return true;
}

std::string format_time_text(const platform::SystemTime& t) {
    char text[64];
    std::snprintf(text, sizeof text, "%02d.%02d.%d %02d:%02d:%02d", t.day, t.month, t.year, t.hour,
                  t.minute, t.second);
    return text;
}

}  // namespace

platform::SystemTime ReadTimeText(std::string_view text) {
    platform::SystemTime t;
    std::size_t at = 0;
    for (std::uint16_t* field : {&t.day, &t.month, &t.year, &t.hour, &t.minute, &t.second}) {
        if (!read_field(text, at, *field)) break;
    }
    return t;
}

std::string FormatTimeText(std::int64_t unixSeconds) {
    return format_time_text(platform::unix_to_system_time(unixSeconds));
}

int GetLastWriteTime(const platform::File& file, std::string& out) {
    platform::SystemTime time;
    if (!read_last_write_time(file, time)) return 0;
    out = format_time_text(time);
    return 1;
}

bool isFileTimeDifferent(const platform::File& file, const std::string& listTime) {
    // The file's fields are those its time text would be read back as.
    platform::SystemTime a;
    if (!read_last_write_time(file, a)) return true;
    return !SameToTheHour(a, ReadTimeText(listTime));
}

bool SameToTheHour(const platform::SystemTime& a, const platform::SystemTime& b) {
    const int hours = a.hour - b.hour;
    return a.year == b.year && a.month == b.month && a.day == b.day && hours >= -1 && hours <= 1;
}

bool isFileSizeDifferentWithHandle(const platform::File& file, std::uint32_t size) {
    if (!file.valid()) {
        WriteLauncherLog("Error opening file in isFileSizeDifferentWithHandle(): %d",
                         platform::last_error());
        return true;
    }
    std::uint32_t actual = 0;
    // A size that cannot be read cannot match either.
    if (!file.size_low32(actual)) return true;
    return actual != size;
}

int SetFileToPatchTime(const std::string& path, const std::string& timeText) {
    std::int64_t seconds = 0;
    const bool valid = platform::system_time_to_unix(ReadTimeText(timeText), seconds);
    if (!platform::File::open_for_attributes(path).valid()) {
        WriteLauncherLog("Error opening file in SetFileToPatchTime(): %d", platform::last_error());
        return 0;
    }
    if (!valid) return 0;
    return platform::set_file_write_time(path, seconds) ? 1 : 0;
}

void CreateDirectoryPath(std::string_view directory) {
    std::string made;
    for (std::size_t i = 0; i < directory.size(); ++i) {
        const char c = directory[i];
        if ((c == '\\' || c == '/') && i != 0 && directory[i - 1] != ':') {
            platform::create_directory(made);
        }
        made += c;
    }
    platform::create_directory(made);
}

bool FileExists(const std::string& path) {
    return platform::file_exists(path);
}
