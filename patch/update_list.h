// The patch server's update list: line 1 the base URL of the game files,
// line 2 free text, then three lines per file (path, size, UTC time text).
#pragma once

#include <cstdint>
#include <list>
#include <string>
#include <string_view>

struct UpdateListEntry {
    bool needsDownload = false;  // set by the file check
    std::string path;            // relative to the game directory, "\" between parts
    std::string timeStamp;       // "DD.MM.YYYY hh:mm:ss", UTC, as listed
    std::uint32_t size = 0;
};

// False when the list is faulty: a line count other than 2 + 3k (an empty
// body included), or a path that would leave the game directory. With
// `testLauncher` the launcher's own "_launcher.dll" lines are dropped.
bool ParseUpdateList(const std::string& body, bool testLauncher, std::string& baseUrl,
                     std::list<UpdateListEntry>& entries);

// A list path names a file inside the game directory: not empty, not
// absolute, no drive, no ".." part, no NUL byte.
bool IsSafeListPath(std::string_view path);

// The URL of a game file: base, "/", the path with its backslashes. Bytes
// that libcurl refuses or that would change the URL's meaning are
// percent-encoded.
std::string FileUrl(const std::string& baseUrl, std::string_view path);
