// The patch server's update list: line 1 the base URL of the game files,
// line 2 free text, then three lines per file (path, size, UTC time text).
#pragma once

#include <cstdint>
#include <functional>
#include <list>
#include <string>
#include <string_view>
#include <vector>

struct UpdateListEntry {
    bool needsDownload = false;  // set by the file check
    std::string path;            // relative to the game directory, "\" between parts
    std::string timeStamp;       // "DD.MM.YYYY hh:mm:ss", UTC, as listed
    std::uint32_t size = 0;
};

// A list that names more files than this is faulty: its byte cap alone would
// let millions of tiny entries fill the memory. The publisher refuses more.
inline constexpr std::size_t kMaxListEntries = 200000;
// So is a list with a longer line: no path a file system takes is longer.
inline constexpr std::size_t kMaxListLineBytes = 4096;

// False when the list is faulty: a line count other than 2 + 3k (an empty
// body included), a path that would leave the game directory, more than
// kMaxListEntries files or a line of more than kMaxListLineBytes. With
// `testLauncher` the launcher's own "_launcher.dll" lines are dropped.
bool ParseUpdateList(const std::string& body, bool testLauncher, std::string& baseUrl,
                     std::list<UpdateListEntry>& entries);

// The paths of one list, as Windows would see them: no two may name one file
// there (letter case aside: "maps\x.map" and "MAPS/x.map"), nor may one name
// a file where another needs a folder. The list's paths are kept as 64-bit
// hashes of their folded form (FoldListPath), 16 bytes or less a path, so a
// list of the most entries costs 4 MiB more; two paths that differ but share
// a hash (one chance in some 10^9 for the longest list) would be refused as
// one.
class ListPathSet {
public:
    // "" when `path` (one ListPathRefusal takes) names a file no earlier
    // path names; else why not. The path is added either way.
    std::string Add(std::string_view path);

private:
    // Hashes in one array, at most half full, a free slot 0.
    class Hashes {
    public:
        bool Has(std::uint64_t hash) const;
        // False when it was there already.
        bool Insert(std::uint64_t hash);

    private:
        std::size_t Slot(std::uint64_t hash) const;  // where it is, or would go
        std::vector<std::uint64_t> slots_;
        std::size_t count_ = 0;
    };
    Hashes files_, folders_;
};

// ParseUpdateList for a body that arrives in pieces: each entry is appended
// to `entries` (and handed to `added`) as soon as its three lines are in, so
// the work on the files can begin while the rest still comes.
class UpdateListReader {
public:
    UpdateListReader(bool testLauncher, std::list<UpdateListEntry>& entries,
                     std::function<void(const UpdateListEntry&)> added = {});
    // The next piece of the body, as it arrives; nothing of it is kept but
    // the start of a line the next piece completes. False once the list is
    // faulty whatever may follow (Fault() says why): the rest need not come.
    bool Feed(std::string_view piece);
    // The whole body has been fed: false when the list is faulty. The
    // entries appended are left for the caller to clear.
    bool Finish(std::string& baseUrl) const;
    // Why the list is faulty before its end ("" while it is not).
    const std::string& Fault() const { return fault_; }

private:
    void Line(std::string_view line);

    const bool testLauncher_;
    std::list<UpdateListEntry>& entries_;
    std::function<void(const UpdateListEntry&)> added_;
    std::string partial_;    // a line begun in an earlier piece
    bool inBreaks_ = false;  // the last piece ended in a run of CR and LF
    std::size_t lines_ = 0;  // complete lines so far
    std::size_t count_ = 0;  // entries appended
    std::string baseUrl_;
    std::string triple_[3];
    std::string fault_;
    ListPathSet paths_;
};

// A list path names a file inside the game directory: not empty, not
// absolute, no drive, no ".." part, no NUL byte.
bool IsSafeListPath(std::string_view path);

// Why the launcher refuses a list path ("" when it takes it): it leaves the
// game directory, has an empty or "." part or a control character, is
// longer than a line, names on Windows what it does not name on Linux, or
// names a file that the launcher or the player owns (the launcher itself,
// its scratch files, log and kept release, the player's settings). A list
// with one is faulty, and valdora-publish refuses to publish one. A list
// works on both systems, so the Windows rules hold everywhere; each part of
// the path is judged as Windows would open it:
// - letter case is no difference (FoldListPath);
// - no character Windows refuses or reads otherwise: < > : " | ? * (":"
//   opens a drive or an alternate stream, "launcher.exe::$DATA");
// - no part ends in a dot or a blank, which Windows drops ("launcher.exe."
//   is the launcher there, "base./x" is "base/x");
// - no device name (CON, PRN, AUX, NUL, COM0-9, LPT0-9, COM and LPT with
//   a superscript 1-3, CONIN$, CONOUT$), whatever follows its first dot or
//   blanks before it ("aux.dat", "NUL .txt");
// - no name of Windows' short-name form, at most 8 characters ending in "~"
//   and digits with at most 3 after a dot ("LAUNCH~1.EXE"): on a volume
//   that makes short names, one may stand for any long name of its folder
//   (the launcher, its record of installed files, another listed file), and
//   Windows makes them up: no game needs to list one.
std::string ListPathRefusal(std::string_view path);
// The path as Windows compares names, "/" as "\": the letters of code page
// 1254 as their capitals (a-z, the accented and Turkish ones), and the
// Turkish dotless and dotted i's as "I" ("ı" is "I" on NTFS; "İ" is folded
// too, to be safe on file systems that fold case fully).
std::string FoldListPath(std::string_view path);
// Whether a list time names a moment as the launcher reads it (31.02.2024
// or 99:99:99 do not, nor an empty text): a list with one that does not is
// faulty, and valdora-publish never writes one.
bool IsListTime(std::string_view text);

// The URL of a game file as every web server, object store and CDN names
// it: base, "/", then the list path with "/" between folders, its CP1254
// bytes converted to UTF-8 and percent-encoded but for letters, digits and
// "-._~" ("maps\Kara Orman.map" -> "maps/Kara%20Orman.map").
std::string FileUrl(const std::string& baseUrl, std::string_view path);

// The list path as the site names the file below the release's folder:
// UTF-8, "/" between folders.
std::string SiteName(std::string_view path);
