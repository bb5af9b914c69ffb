#include "log/launcher_log.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <string>

#include "platform/cp1254_literal.h"
#include "platform/file.h"
#include "platform/file_time.h"

using namespace platform::literals;

namespace {

// Set until the header has really reached the file.
std::atomic<bool> g_headerPending{true};

// Each reads the clock on its own, the way the launcher always has: the
// time first, then the date.
void read_time(char (&out)[16]) {
    const platform::SystemTime t = platform::local_time_now();
    std::snprintf(out, sizeof out, "%02u:%02u:%02u", t.hour % 100u, t.minute % 100u,
                  t.second % 100u);
}

void read_date(char (&out)[16]) {
    const platform::SystemTime t = platform::local_time_now();
    std::snprintf(out, sizeof out, "%02u/%02u/%02u", t.month % 100u, t.day % 100u, t.year % 100u);
}

// The log is written in text mode: every line feed goes to disk as CR LF.
void append_text_mode(std::string& out, const char* text) {
    for (; *text != '\0'; ++text) {
        if (*text == '\n') out += '\r';
        out += *text;
    }
}

// A message as printf makes it, cut at 4 KiB.
std::string formatted(const char* format, va_list args) {
    char message[4096];
    std::vsnprintf(message, sizeof message, format, args);
    return message;
}

}  // namespace

void WriteLauncherLog(const char* format, ...) {
    if (format == nullptr) return;

    va_list args;
    va_start(args, format);
    const std::string message = formatted(format, args);
    va_end(args);

    char time[16];
    char date[16];
    read_time(time);
    read_date(date);

    platform::create_directory("base");
    platform::File file = platform::File::open_for_append(kLauncherLogPath);
    // Another program that holds the file locked keeps us out, as a file
    // opened without sharing does on Windows. Our own writers share.
    if (!file || !file.try_lock_shared()) return;

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
    append_text_mode(text, message.c_str());
    text += "\r\r\n";

    // One write, so lines of the two threads never interleave.
    file.write_all(text.data(), text.size());
}

void KeepLauncherLogLine(const char* format, ...) {
    if (format == nullptr) return;
    va_list args;
    va_start(args, format);
    const std::string message = formatted(format, args);
    va_end(args);
    std::string line = message;
    for (char& c : line) c = c == '\n' ? ' ' : c;  // one message, one line
    line += '\n';

    platform::create_directory("base");
    platform::File file = platform::File::open_for_append(kKeptLogPath);
    // Like a log line, lost when it cannot be written.
    if (file) file.write_all(line.data(), line.size());
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
