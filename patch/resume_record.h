// The record beside a partial scratch file ("~temp.dat", "~temp.dat.1"...)
// that lets the next run go on with the file instead of starting over:
// which download the bytes belong to (its URL, the list's size and time),
// and which file on disk they were written to; for a file fetched whole,
// the server's validator of the copy they came from (its ETag, else its
// Last-Modified date), the next run asking for the rest; for a file made
// from its old copy and ranges (a delta), the SHA-256 of the file being
// made, the next run fetching only the chunks that are not yet there. A
// text of "key value" lines, ending "end".
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// The scratch files, one for each file in flight, and their records: the
// first slot's are "~temp.dat", "~temp.dat.resume" and, while it is
// written, "~temp.dat.resume.new"; the next ones' "~temp.dat.1"...
inline constexpr std::size_t kScratchSlots = 64;
inline constexpr const char* kTempFile = "~temp.dat";
inline constexpr const char* kResumeRecordFile = "~temp.dat.resume";
inline constexpr const char* kNewRecordFile = "~temp.dat.resume.new";
struct ScratchNames {
    std::string file, record, newRecord;
};
ScratchNames ScratchSlot(std::size_t slot);

struct ResumeRecord {
    std::string url;
    std::uint32_t size = 0;  // the list's
    std::string timeStamp;   // the list's time text
    std::string etag;        // a strong ETag; else empty and
    std::string lastModified;
    std::string delta;         // a delta: the hex SHA-256 of the file made
    std::uint64_t device = 0;  // the partial file's identity
    std::uint64_t inode = 0;

    // What If-Range carries.
    const std::string& validator() const { return etag.empty() ? lastModified : etag; }
};

// "" when the record cannot be written (a value with a line break or NUL,
// or neither a validator nor a delta).
std::string FormatResumeRecord(const ResumeRecord& record);
// False for anything FormatResumeRecord would not have written: a garbage or
// truncated record is no record.
bool ParseResumeRecord(std::string_view text, ResumeRecord& record);

// Writes `text` as the slot's record, through a whole new file renamed into
// place; false when that failed (and no half record is left).
bool WriteResumeRecord(const ScratchNames& scratch, const std::string& text);

// A "Content-Range" of a 206 that holds exactly bytes `from` to the end of
// a body of `total` bytes: "bytes FROM-(TOTAL-1)/TOTAL".
bool RangeIsRestOf(std::string_view contentRange, std::uint64_t from, std::uint64_t total);
// One that holds exactly bytes `first` to `last` of a body of `total` bytes
// (0: of any length, "*" too).
bool RangeIs(std::string_view contentRange, std::uint64_t first, std::uint64_t last,
             std::uint64_t total);
