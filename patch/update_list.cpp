#include "patch/update_list.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <limits>
#include <vector>

#include "log/launcher_log.h"
#include "patch/file_checks.h"
#include "patch/file_sink.h"
#include "patch/installed_hashes.h"
#include "patch/resume_record.h"
#include "patch/signed_release.h"
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

std::string ListPathRefusal(std::string_view path) {
    if (!IsSafeListPath(path)) return "leads out of the game directory";
    if (path.size() > kMaxListLineBytes) return "longer than a line of the list may be";
    // One pass (every entry of a list comes here): no part between
    // separators empty or ".", no control character.
    for (std::size_t i = 0, start = 0; i <= path.size(); ++i) {
        const char c = i < path.size() ? path[i] : '/';
        if (c == '/' || c == '\\') {
            if (i == start || (i == start + 1 && path[start] == '.')) {
                return "an empty or \".\" folder in the path";
            }
            start = i + 1;
        } else if (c >= 0 && c < 0x20) {
            return "a control character";
        }
    }
    static const std::pair<const char*, const char*> kReserved[] = {
        {kTempFile, "the launcher's temporary download file"},
        {kResumeRecordFile, "the record of the launcher's interrupted download"},
        {kNewRecordFile, "the record of the launcher's interrupted download"},
        {"launcher.exe",
         "the running launcher; publish a new one with --launcher (it reaches players as "
         "_launcher.dll)"},
        {kLauncherLogPath, "the launcher's log on the player's machine"},
        {kKeptLogPath, "the launcher's log on the player's machine"},
        {"base\\pref_launch.prefs",
         "each player's graphics settings; publishing it would overwrite them on every machine"},
        {kKeptList, "the launcher's copy of the last signed release it took"},
        {kKeptManifest, "the launcher's copy of the last signed release it took"},
        {kKeptSignature, "the launcher's copy of the last signed release it took"},
        {kInstalledHashes, "the launcher's record of the hash each file was installed with"},
    };
    // Either separator, letter case aside.
    const auto fold = [](char c) {
        return c == '/' ? '\\' : c >= 'A' && c <= 'Z' ? char(c + 32) : c;
    };
    for (const auto& [name, why] : kReserved) {
        const std::string_view reserved(name);
        if (reserved.size() == path.size() &&
            std::equal(path.begin(), path.end(), reserved.begin(),
                       [&](char a, char b) { return fold(a) == fold(b); })) {
            return std::string("reserved: ") + why;
        }
    }
    // The scratch files of the other files in flight: "~temp.dat.1"...
    const std::string scratch = std::string(kTempFile) + ".";
    if (path.find_first_of("/\\") == std::string_view::npos && path.size() >= scratch.size() &&
        std::equal(scratch.begin(), scratch.end(), path.begin(),
                   [&](char a, char b) { return fold(a) == fold(b); })) {
        return "reserved: the launcher's temporary download files";
    }
    return "";
}

bool IsListTime(std::string_view text) {
    std::int64_t seconds = 0;
    return platform::system_time_to_unix(ReadTimeText(text), seconds);
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
bool UpdateListReader::Feed(std::string_view piece) {
    const auto is_break = [](char c) { return c == '\r' || c == '\n'; };
    for (std::size_t at = 0; fault_.empty() && at < piece.size();) {
        if (inBreaks_) {
            while (at < piece.size() && is_break(piece[at])) ++at;
            if (at == piece.size()) break;
            inBreaks_ = false;
        }
        std::size_t end = at;
        while (end < piece.size() && !is_break(piece[end])) ++end;
        const std::string_view part = piece.substr(at, end - at);
        at = end;
        if (partial_.size() + part.size() > kMaxListLineBytes) {
            fault_ = "a line of more than " + std::to_string(kMaxListLineBytes) + " bytes";
        } else if (end == piece.size()) {
            partial_ += part;  // the line goes on in the next piece
        } else if (inBreaks_ = true; partial_.empty()) {
            Line(part);
        } else {
            partial_ += part;
            Line(partial_);
            partial_.clear();
        }
    }
    return fault_.empty();
}

void UpdateListReader::Line(std::string_view line) {
    const std::size_t n = lines_++;
    if (n == 0) baseUrl_ = line;
    if (n < 2) return;
    triple_[(n - 2) % 3] = line;
    if ((n - 2) % 3 != 2) return;
    if (testLauncher_ && triple_[0] == "_launcher.dll") return;
    std::string refusal = ListPathRefusal(triple_[0]);
    if (refusal.empty() && !IsListTime(triple_[2])) refusal = "the time " + triple_[2] + " is none";
    if (!refusal.empty()) {
        fault_ = triple_[0] + ": " + refusal;
        return;
    }
    if (count_++ == kMaxListEntries) {
        fault_ = "more than " + std::to_string(kMaxListEntries) + " files";
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
    if (!fault_.empty() || lines_ < 2 || (lines_ - 2) % 3 != 0) return false;
    baseUrl = baseUrl_;
    return true;
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
