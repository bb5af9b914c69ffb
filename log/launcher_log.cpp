#include "log/launcher_log.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <string>

#include "platform/cp1254_literal.h"
#include "platform/file.h"

using namespace platform::literals;

namespace {

// Set until the header has really reached the file.
std::atomic<bool> g_headerPending{true};

// Each reads the clock on its own, the way the launcher always has: the
// time first, then the date.
void read_time(char (&out)[16]) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    std::snprintf(out, sizeof out, "%02u:%02u:%02u", unsigned(local.tm_hour) % 100,
                  unsigned(local.tm_min) % 100, unsigned(local.tm_sec) % 100);
}

void read_date(char (&out)[16]) {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    std::snprintf(out, sizeof out, "%02u/%02u/%02u", unsigned(local.tm_mon + 1) % 100,
                  unsigned(local.tm_mday) % 100, unsigned(local.tm_year) % 100);
}

// The log is written in text mode: every line feed goes to disk as CR LF.
void append_text_mode(std::string& out, const char* text) {
    for (; *text != '\0'; ++text) {
        if (*text == '\n') out += '\r';
        out += *text;
    }
}

}  // namespace

void WriteLauncherLog(const char* format, ...) {
    if (format == nullptr) return;

    char message[4096];
    va_list args;
    va_start(args, format);
    std::vsnprintf(message, sizeof message, format, args);
    va_end(args);

    char time[16];
    char date[16];
    read_time(time);
    read_date(date);

    platform::create_directory("base");
    const std::string path = platform::native_path(kLauncherLogPath);
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) return;
    // Another program that holds the file locked keeps us out, as a file
    // opened without sharing does on Windows. Our own writers share.
    if (::flock(fd, LOCK_SH | LOCK_NB) != 0) {
        ::close(fd);
        return;
    }

    std::string text;
    if (g_headerPending.exchange(false)) {
        text += "-------- Loglama başlatıldı launcher: "_cp1254;
        text += date;
        text += ' ';
        text += time;
        text += " --------\r\r\n";
    }
    text += "--- ";
    text += date;
    text += ' ';
    text += time;
    text += ": ";
    append_text_mode(text, message);
    text += "\r\r\n";

    // One write, so lines of the two threads never interleave.
    const char* p = text.data();
    std::size_t left = text.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n <= 0) break;
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    ::close(fd);
}

void KeepLauncherLogLine(const char* format, ...) {
    if (format == nullptr) return;
    char message[4096];
    va_list args;
    va_start(args, format);
    std::vsnprintf(message, sizeof message, format, args);
    va_end(args);
    std::string line(message);
    for (char& c : line) c = c == '\n' ? ' ' : c;  // one message, one line
    line += '\n';

    platform::create_directory("base");
    const std::string path = platform::native_path(kKeptLogPath);
    const int fd =
        ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0) return;
    const ssize_t n = ::write(fd, line.data(), line.size());
    (void)n;  // like a log line, lost when it cannot be written
    ::close(fd);
}

void WriteKeptLauncherLogLines() {
    std::string kept;
    if (!platform::read_file(kKeptLogPath, kept)) return;
    platform::delete_file(kKeptLogPath);
    for (std::size_t at = 0; at < kept.size();) {
        std::size_t end = kept.find('\n', at);
        if (end == std::string::npos) end = kept.size();
        WriteLauncherLog("%s", kept.substr(at, end - at).c_str());
        at = end + 1;
    }
}
