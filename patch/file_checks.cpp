#include "patch/file_checks.h"

#include <boost/algorithm/string/replace.hpp>
#include <cstdio>
#include <sstream>

#include "log/launcher_log.h"
#include "platform/file_time.h"
#include "platform/last_error.h"

namespace {

// Day, month, year, hour, minute, second from a time text; what cannot be
// read stays 0, and a field that fails stops the reading.
platform::SystemTime read_time_text(std::string text) {
    boost::replace_all(text, ".", " ");
    boost::replace_all(text, ":", " ");
    std::istringstream in(text);
    platform::SystemTime t;
    in >> t.day >> t.month >> t.year >> t.hour >> t.minute >> t.second;
    return t;
}

}  // namespace

std::string FormatTimeText(std::int64_t unixSeconds) {
    const platform::SystemTime t = platform::unix_to_system_time(unixSeconds);
    char text[64];
    std::snprintf(text, sizeof text, "%02d.%02d.%d %02d:%02d:%02d", t.day, t.month, t.year, t.hour,
                  t.minute, t.second);
    return text;
}

int GetLastWriteTime(const platform::File& file, std::string& out) {
    if (!file.valid()) {
        WriteLauncherLog("Error opening file in GetLastWriteTime(): %d", platform::last_error());
        return 0;
    }
    std::int64_t seconds = 0;
    if (!file.last_write_time(seconds)) {
        WriteLauncherLog("GetFileTime() error: %d", platform::last_error());
        return 0;
    }
    out = FormatTimeText(seconds);
    return 1;
}

bool isFileTimeDifferent(const platform::File& file, const std::string& listTime) {
    std::string fileTime;
    if (!GetLastWriteTime(file, fileTime)) return true;
    const platform::SystemTime a = read_time_text(fileTime);
    const platform::SystemTime b = read_time_text(listTime);
    const int hours = a.hour - b.hour;
    return !(a.year == b.year && a.month == b.month && a.day == b.day && hours >= -1 && hours <= 1);
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
    const bool valid = platform::system_time_to_unix(read_time_text(timeText), seconds);
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
