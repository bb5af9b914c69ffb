#include "patch/update_list.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <limits>
#include <vector>

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
    // The lines as a split at any run of CR and LF gives them; the piece
    // after the final line break is dropped, so a list without one loses
    // its last real line here and comes out faulty.
    std::vector<std::string_view> lines;
    const std::string_view text(body);
    for (std::size_t at = 0;;) {
        std::size_t end = at;
        while (end < text.size() && text[end] != '\r' && text[end] != '\n') ++end;
        if (end == text.size()) break;
        lines.push_back(text.substr(at, end - at));
        at = end;
        while (at < text.size() && (text[at] == '\r' || text[at] == '\n')) ++at;
    }
    if (lines.size() < 2 || (lines.size() - 2) % 3 != 0) return false;

    baseUrl = lines[0];
    for (std::size_t i = 2; i < lines.size(); i += 3) {
        if (testLauncher && lines[i] == "_launcher.dll") continue;
        if (!IsSafeListPath(lines[i])) {
            entries.clear();
            return false;
        }
        UpdateListEntry& entry = entries.emplace_back();
        entry.path = lines[i];
        std::replace(entry.path.begin(), entry.path.end(), '/', '\\');
        entry.size = read_size(lines[i + 1]);
        entry.timeStamp = lines[i + 2];
    }
    return true;
}

std::string FileUrl(const std::string& baseUrl, std::string_view path) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string url = baseUrl;
    url += '/';
    for (const char c : path) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= 0x20 || byte == 0x7F || c == '%' || c == '#' || c == '?') {
            url += '%';
            url += kHex[byte >> 4];
            url += kHex[byte & 0xF];
        } else {
            url += c;
        }
    }
    return url;
}
