// The patch server's update list: line 1 the base URL of the game files,
// line 2 free text, then three lines per file (path, size, UTC time text).
#pragma once

#include <cstdint>
#include <functional>
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

// ParseUpdateList for a body that arrives in pieces: each entry is appended
// to `entries` (and handed to `added`) as soon as its three lines are in, so
// the work on the files can begin while the rest still comes.
class UpdateListReader {
public:
    UpdateListReader(bool testLauncher, std::list<UpdateListEntry>& entries,
                     std::function<void(const UpdateListEntry&)> added = {});
    // `body`: all that has arrived so far (it only grows).
    void Feed(std::string_view body);
    // The whole body has been fed: false when the list is faulty. The
    // entries appended are left for the caller to clear.
    bool Finish(std::string& baseUrl) const;

private:
    void Line(std::string_view line);

    const bool testLauncher_;
    std::list<UpdateListEntry>& entries_;
    std::function<void(const UpdateListEntry&)> added_;
    std::size_t at_ = 0;     // where the next line begins (or breaks go on)
    bool inBreaks_ = false;  // `at_` is inside a run of CR and LF
    std::size_t lines_ = 0;  // complete lines so far
    std::string baseUrl_;
    std::string triple_[3];
    bool unsafe_ = false;
};

// A list path names a file inside the game directory: not empty, not
// absolute, no drive, no ".." part, no NUL byte.
bool IsSafeListPath(std::string_view path);

// The URL of a game file as every web server, object store and CDN names
// it: base, "/", then the list path with "/" between folders, its CP1254
// bytes converted to UTF-8 and percent-encoded but for letters, digits and
// "-._~" ("maps\Kara Orman.map" -> "maps/Kara%20Orman.map").
std::string FileUrl(const std::string& baseUrl, std::string_view path);

// The list path as the site names the file below the release's folder:
// UTF-8, "/" between folders.
std::string SiteName(std::string_view path);
