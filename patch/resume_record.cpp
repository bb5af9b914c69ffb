#include "patch/resume_record.h"

#include <charconv>
#include <vector>

#include "platform/file.h"

namespace {

constexpr std::string_view kFirstLine = "valdora resume 2";

bool has_no_break(std::string_view value) {
    return value.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos;
}

template <class Number>
bool read_number(std::string_view text, Number& value) {
    const char* end = text.data() + text.size();
    const auto [at, error] = std::from_chars(text.data(), end, value);
    return !text.empty() && error == std::errc() && at == end;
}

}  // namespace

ScratchNames ScratchSlot(std::size_t slot) {
    // Built by appending: GCC 12 at -O3 takes `kTempFile + ("." + ...)`, an
    // insert at the front of a temporary, for an overlapping copy (a false
    // -Wrestrict that -Werror makes fatal).
    std::string file = kTempFile;
    if (slot != 0) file.append(".").append(std::to_string(slot));
    return {file, file + ".resume", file + ".resume.new"};
}

std::string FormatResumeRecord(const ResumeRecord& r) {
    if (r.validator().empty() && r.delta.empty()) return "";
    for (const std::string* value : {&r.url, &r.timeStamp, &r.etag, &r.lastModified, &r.delta}) {
        if (!has_no_break(*value)) return "";
    }
    std::string text(kFirstLine);
    text += "\nurl " + r.url + "\nsize " + std::to_string(r.size) + "\ntime " + r.timeStamp;
    text += "\netag " + r.etag + "\nlast-modified " + r.lastModified + "\ndelta " + r.delta;
    text += "\nfile " + std::to_string(r.device) + ":" + std::to_string(r.inode) + "\nend\n";
    return text;
}

bool ParseResumeRecord(std::string_view text, ResumeRecord& r) {
    static constexpr std::string_view kKeys[] = {"url",           "size",  "time", "etag",
                                                 "last-modified", "delta", "file", "end"};
    std::vector<std::string_view> values;
    std::size_t at = 0;
    for (std::size_t line = 0; line <= std::size(kKeys); ++line) {
        const std::size_t end = text.find('\n', at);
        if (end == std::string_view::npos) return false;  // cut short
        const std::string_view whole = text.substr(at, end - at);
        at = end + 1;
        if (line == 0) {
            if (whole != kFirstLine) return false;
            continue;
        }
        const std::string_view key = kKeys[line - 1];
        if (key == "end") {
            if (whole != "end") return false;
            break;
        }
        if (whole.substr(0, key.size()) != key || whole.size() == key.size() ||
            whole[key.size()] != ' ') {
            return false;
        }
        values.push_back(whole.substr(key.size() + 1));
    }
    if (at != text.size()) return false;
    ResumeRecord read;
    read.url = values[0];
    read.timeStamp = values[2];
    read.etag = values[3];
    read.lastModified = values[4];
    read.delta = values[5];
    const std::size_t colon = values[6].find(':');
    if (!read_number(values[1], read.size) || colon == std::string_view::npos ||
        !read_number(values[6].substr(0, colon), read.device) ||
        !read_number(values[6].substr(colon + 1), read.inode) || read.url.empty() ||
        (read.validator().empty() && read.delta.empty())) {
        return false;
    }
    r = std::move(read);
    return true;
}

bool WriteResumeRecord(const ScratchNames& scratch, const std::string& text) {
    platform::File out = platform::File::create_always(scratch.newRecord);
    const bool written = out && out.write_all(text.data(), text.size());
    out.close();
    if (written && platform::replace_file(scratch.newRecord, scratch.record)) return true;
    platform::delete_file(scratch.newRecord);
    return false;
}

bool RangeIsRestOf(std::string_view range, std::uint64_t from, std::uint64_t total) {
    return total > 0 && RangeIs(range, from, total - 1, total);
}

bool RangeIs(std::string_view range, std::uint64_t first, std::uint64_t last, std::uint64_t total) {
    constexpr std::string_view kUnit = "bytes ";
    if (range.substr(0, kUnit.size()) != kUnit) return false;
    range.remove_prefix(kUnit.size());
    const std::size_t dash = range.find('-'), slash = range.find('/');
    if (dash == std::string_view::npos || slash == std::string_view::npos || slash < dash) {
        return false;
    }
    std::uint64_t from = 0, to = 0, length = 0;
    const std::string_view of = range.substr(slash + 1);
    return read_number(range.substr(0, dash), from) &&
           read_number(range.substr(dash + 1, slash - dash - 1), to) && from == first &&
           to == last && first <= last &&
           (total == 0 ? of == "*" || (read_number(of, length) && length > last)
                       : read_number(of, length) && length == total);
}
