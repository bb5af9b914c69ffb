// Local files against the update list: last-write times as UTC text
// compared to the hour, sizes, directories, stamping a downloaded file.
//
// Relative paths resolve against the current directory; the patch run
// makes the game directory current before calling these.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/file.h"
#include "platform/file_time.h"

// "DD.MM.YYYY hh:mm:ss" of a file time in UTC.
std::string FormatTimeText(std::int64_t unixSeconds);

// Day, month, year, hour, minute and second from a time text, "." and ":"
// taken as blanks, read as a text stream reads six unsigned 16-bit numbers:
// what cannot be read stays 0, and a field that fails ends the reading.
platform::SystemTime ReadTimeText(std::string_view text);

// The times a launcher takes as the same: the same date, the hours at most
// one apart (minutes and seconds do not count).
bool SameToTheHour(const platform::SystemTime& a, const platform::SystemTime& b);

// True when the file must be downloaded because of its time: its time
// cannot be read, or the date differs, or the hours lie more than one apart.
bool isFileTimeDifferent(const platform::File& file, const std::string& listTime);

// 1 with the file's time text in `out`, 0 (logged) when it cannot be read.
int GetLastWriteTime(const platform::File& file, std::string& out);

// True when the low 32 bits of the file's size differ from `size`, or the
// file is not open (logged).
bool isFileSizeDifferentWithHandle(const platform::File& file, std::uint32_t size);

// Gives the file the list's time. Nonzero when set; 0 when the file cannot
// be opened (logged) or the text is no valid time (the file is left alone).
int SetFileToPatchTime(const std::string& path, const std::string& timeText);

// Makes every directory of `directory`, outermost first; failures (above
// all "exists") are ignored.
void CreateDirectoryPath(std::string_view directory);

bool FileExists(const std::string& path);
