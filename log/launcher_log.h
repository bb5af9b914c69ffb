// The launcher's diary of one run: "base\launcher_log.txt" in the game
// directory, one dated line per call.
#pragma once

// Formats like printf and appends one line "--- MM/DD/YY HH:MM:SS: message"
// to the log, preceded once per process by the header line. The file is
// opened and closed on every call; when it cannot be opened (or another
// program holds it locked) the line is lost and the header waits for the
// next call that gets through. A message longer than 4095 characters is
// cut. A null format does nothing. Safe to call from any thread.
void WriteLauncherLog(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The log file, relative to the game directory.
inline constexpr const char* kLauncherLogPath = "base\\launcher_log.txt";

// Lines for the launcher that starts next, whose window deletes the log:
// launch_helper.exe keeps what it did this way. Each call appends one
// formatted message to "base\launcher_log_next.txt".
void KeepLauncherLogLine(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The window's initialisation, right after it deleted the log: every kept
// message becomes a line of the log, in order, and the kept file is removed.
void WriteKeptLauncherLogLines();

inline constexpr const char* kKeptLogPath = "base\\launcher_log_next.txt";
