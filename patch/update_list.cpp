#include "patch/update_list.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <limits>
#include <vector>

#include "platform/codepage.h"

namespace {

// atoi's reading, saturated to 32 bits, then taken as unsigned: "12abc" is
// 12, "abc" 0, "-1" 4294967295.
std::uint32_t read_size(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    std::int64_t value = 0;
    constexpr std::int64_t kLimit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = std::min(value * 10 + (text[i] - '0'), kLimit);
    }
    if (negative) value = -value;
    value = std::clamp<std::int64_t>(value, std::numeric_limits<std::int32_t>::min(),
                                     std::numeric_limits<std::int32_t>::max());
    return static_cast<std::uint32_t>(static_cast<std::int32_t>(value));
}

}  // namespace

bool IsSafeListPath(std::string_view path) {
    if (path.empty() || path[0] == '/' || path[0] == '\\') return false;
    if (path.size() >= 2 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':') {
        return false;
    }
    if (path.find('\0') != std::string_view::npos) return false;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = path.find_first_of("/\\", start);
        if (path.substr(start, end - start) == "..") return false;
        if (end == std::string_view::npos) return true;
        start = end + 1;
    }
}

bool ParseUpdateList(const std::string& body, bool testLauncher, std::string& baseUrl,
                     std::list<UpdateListEntry>& entries) {
    entries.clear();
    UpdateListReader reader(testLauncher, entries);
    reader.Feed(body);
    if (reader.Finish(baseUrl)) return true;
    entries.clear();
    return false;
}

UpdateListReader::UpdateListReader(bool testLauncher, std::list<UpdateListEntry>& entries,
                                   std::function<void(const UpdateListEntry&)> added)
    : testLauncher_(testLauncher), entries_(entries), added_(std::move(added)) {}

// The lines as a split at any run of CR and LF gives them; the piece after
// the final line break never counts, so a list without one loses its last
// real line and comes out faulty.
void UpdateListReader::Feed(std::string_view text) {
    const auto is_break = [](char c) { return c == '\r' || c == '\n'; };
    for (;;) {
        if (inBreaks_) {
            while (at_ < text.size() && is_break(text[at_])) ++at_;
            if (at_ == text.size()) return;
            inBreaks_ = false;
        }
        std::size_t end = at_;
        while (end < text.size() && !is_break(text[end])) ++end;
        if (end == text.size()) return;  // the line is not complete yet
        Line(text.substr(at_, end - at_));
        at_ = end;
        inBreaks_ = true;
    }
}

void UpdateListReader::Line(std::string_view line) {
    const std::size_t n = lines_++;
    if (n == 0) baseUrl_ = line;
    if (n < 2) return;
    triple_[(n - 2) % 3] = line;
    if ((n - 2) % 3 != 2 || unsafe_) return;
    if (testLauncher_ && triple_[0] == "_launcher.dll") return;
    if (!IsSafeListPath(triple_[0])) {
        unsafe_ = true;
        return;
    }
    UpdateListEntry& entry = entries_.emplace_back();
    entry.path = std::move(triple_[0]);
    std::replace(entry.path.begin(), entry.path.end(), '/', '\\');
    entry.size = read_size(triple_[1]);
    entry.timeStamp = std::move(triple_[2]);
    if (added_) added_(entry);
}

bool UpdateListReader::Finish(std::string& baseUrl) const {
    if (lines_ < 2 || (lines_ - 2) % 3 != 0) return false;
    baseUrl = baseUrl_;
    return !unsafe_;
}

std::string SiteName(std::string_view path) {
    std::string name = platform::cp1254_to_utf8(path);
    std::replace(name.begin(), name.end(), '\\', '/');
    return name;
}

std::string FileUrl(const std::string& baseUrl, std::string_view path) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string url = baseUrl;
    url += '/';
    for (const char c : SiteName(path)) {
        const auto byte = static_cast<unsigned char>(c);
        const bool unreserved = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                                (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_' ||
                                c == '~' || c == '/';
        if (unreserved) {
            url += c;
        } else {
            url += '%';
            url += kHex[byte >> 4];
            url += kHex[byte & 0xF];
        }
    }
    return url;
}
