// The record beside a partial "~temp.dat" that lets the next run ask for the
// rest of the file instead of all of it: which download the bytes belong to
// (its URL, the list's size and time), the server's validator of the copy
// they came from (its ETag, else its Last-Modified date), and which file on
// disk they were written to. A text of "key value" lines, ending "end".
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

inline constexpr const char* kResumeRecordFile = "~temp.dat.resume";
// The record being written, renamed into place when whole.
inline constexpr const char* kNewRecordFile = "~temp.dat.resume.new";

struct ResumeRecord {
    std::string url;
    std::uint32_t size = 0;  // the list's
    std::string timeStamp;   // the list's time text
    std::string etag;        // a strong ETag; else empty and
    std::string lastModified;
    std::uint64_t device = 0;  // the partial file's identity
    std::uint64_t inode = 0;

    // What If-Range carries.
    const std::string& validator() const { return etag.empty() ? lastModified : etag; }
};

// "" when the record cannot be written (a value with a line break or NUL,
// or no validator).
std::string FormatResumeRecord(const ResumeRecord& record);
// False for anything FormatResumeRecord would not have written: a garbage or
// truncated record is no record.
bool ParseResumeRecord(std::string_view text, ResumeRecord& record);

// A "Content-Range" of a 206 that holds exactly bytes `from` to the end of
// a body of `total` bytes: "bytes FROM-(TOTAL-1)/TOTAL".
bool RangeIsRestOf(std::string_view contentRange, std::uint64_t from, std::uint64_t total);
