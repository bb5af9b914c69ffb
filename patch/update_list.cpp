#include "patch/update_list.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdint>
#include <limits>
#include <vector>

#include "log/launcher_log.h"
#include "patch/file_checks.h"
#include "patch/file_sink.h"
#include "patch/installed_hashes.h"
#include "patch/resume_record.h"
#include "patch/self_update.h"
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

// Code page 1254's letters as Windows compares them: each byte as its
// capital; "ı" (0xFD) and "İ" (0xDD) as "I".
constexpr std::array<char, 256> kFolded = [] {
    std::array<char, 256> table{};
    for (int i = 0; i < 256; ++i) {
        int folded = i;
        if ((i >= 'a' && i <= 'z') || (i >= 0xE0 && i <= 0xFE && i != 0xF7)) folded = i - 0x20;
        if (i == 0x9A || i == 0x9C) folded = i - 0x10;  // š, œ
        if (i == 0xFF) folded = 0x9F;                   // ÿ
        if (i == 0xFD || i == 0xDD || i == 'i') folded = 'I';
        if (i == '/') folded = '\\';
        table[static_cast<std::size_t>(i)] = static_cast<char>(folded);
    }
    return table;
}();

char Fold(char c) {
    return kFolded[static_cast<unsigned char>(c)];
}

bool SameFolded(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return Fold(x) == Fold(y); });
}

// What Windows opens as a device: the name before its first dot, blanks at
// its end aside.
bool IsDeviceName(std::string_view name) {
    std::string_view stem = name.substr(0, name.find('.'));
    while (!stem.empty() && stem.back() == ' ') stem.remove_suffix(1);
    for (const char* device : {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"}) {
        if (SameFolded(stem, device)) return true;
    }
    // COM0-9, LPT0-9, and with the superscripts ¹ ² ³ of code page 1254.
    return stem.size() == 4 &&
           (SameFolded(stem.substr(0, 3), "COM") || SameFolded(stem.substr(0, 3), "LPT")) &&
           std::string_view("0123456789\xB9\xB2\xB3").find(stem[3]) != std::string_view::npos;
}

// Windows' short-name form: up to 8 characters ending in "~" and digits,
// then at most one dot and 3 characters.
bool IsShortName(std::string_view name) {
    const std::size_t dot = name.find('.');
    const std::string_view stem = name.substr(0, dot);
    const std::size_t tilde = stem.rfind('~');
    return stem.size() <= 8 && tilde != std::string_view::npos && tilde + 1 < stem.size() &&
           stem.find_first_not_of("0123456789", tilde + 1) == std::string_view::npos &&
           (dot == std::string_view::npos ||
            (name.size() - dot - 1 <= 3 && name.find('.', dot + 1) == std::string_view::npos));
}

// Why Windows would take one part of a path for something else ("" when
// not).
const char* PartRefusal(std::string_view part) {
    if (part.empty() || part == ".") return "an empty or \".\" folder in the path";
    if (part.find_first_of("<>:\"|?*") != std::string_view::npos) {
        return "a character Windows does not take in a name (< > : \" | ? *; \":\" opens a "
               "drive or an alternate stream)";
    }
    if (part.back() == '.' || part.back() == ' ') {
        return "a name ending in a dot or a blank, which Windows drops (\"a.pak.\" is \"a.pak\" "
               "there)";
    }
    if (IsDeviceName(part)) {
        return "a device on Windows (CON, PRN, AUX, NUL, COM0-9, LPT0-9, CONIN$, CONOUT$), "
               "whatever follows its dot";
    }
    if (IsShortName(part)) {
        return "a Windows short name (\"~\" and a number, as in LAUNCH~1.EXE), which may stand "
               "for another file there, the launcher's own among them";
    }
    return "";
}

// FNV-1a, 64 bits, of folded bytes.
constexpr std::uint64_t kFnvStart = 14695981039346656037ull;
std::uint64_t FnvStep(std::uint64_t hash, char c) {
    return (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
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

std::string FoldListPath(std::string_view path) {
    std::string folded(path);
    for (char& c : folded) c = Fold(c);
    return folded;
}

std::string ListPathRefusal(std::string_view path) {
    if (!IsSafeListPath(path)) return "leads out of the game directory";
    if (path.size() > kMaxListLineBytes) return "longer than a line of the list may be";
    // One pass over the bytes (every entry of a list comes here), each part
    // judged at its end.
    for (std::size_t i = 0, start = 0; i <= path.size(); ++i) {
        const char c = i < path.size() ? path[i] : '/';
        if (c == '/' || c == '\\') {
            const char* why = PartRefusal(path.substr(start, i - start));
            if (*why != '\0') return why;
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
    for (const auto& [name, why] : kReserved) {
        if (SameFolded(path, name)) return std::string("reserved: ") + why;
    }
    // The scratch files of the other files in flight: "~temp.dat.1"...
    const std::string scratch = std::string(kTempFile) + ".";
    if (path.find_first_of("/\\") == std::string_view::npos &&
        SameFolded(path.substr(0, scratch.size()), scratch)) {
        return "reserved: the launcher's temporary download files";
    }
    // The self-update knows its file by this name alone; on Windows another
    // spelling would be that file all the same.
    if (SameFolded(path, kLauncherFile) && path != kLauncherFile) {
        return "reserved: the launcher's update, listed as _launcher.dll exactly";
    }
    return "";
}

std::size_t ListPathSet::Hashes::Slot(std::uint64_t hash) const {
    const std::size_t mask = slots_.size() - 1;
    std::size_t at = static_cast<std::size_t>(hash ^ hash >> 29) & mask;
    while (slots_[at] != 0 && slots_[at] != hash) at = (at + 1) & mask;
    return at;
}

bool ListPathSet::Hashes::Has(std::uint64_t hash) const {
    hash += hash == 0;  // 0 marks a free slot
    return !slots_.empty() && slots_[Slot(hash)] != 0;
}

bool ListPathSet::Hashes::Insert(std::uint64_t hash) {
    hash += hash == 0;
    if (2 * (count_ + 1) > slots_.size()) {
        std::vector<std::uint64_t> old(std::max<std::size_t>(16, 2 * slots_.size()));
        old.swap(slots_);
        for (const std::uint64_t moved : old) {
            if (moved != 0) slots_[Slot(moved)] = moved;
        }
    }
    std::uint64_t& slot = slots_[Slot(hash)];
    if (slot != 0) return false;
    slot = hash;
    ++count_;
    return true;
}

std::string ListPathSet::Add(std::string_view path) {
    // The hash of each folder on the way is the running hash at its end.
    std::uint64_t hash = kFnvStart;
    std::string why;
    for (const char c : path) {
        if (Fold(c) == '\\') {
            if (files_.Has(hash)) why = "a file of the list stands where this path has a folder";
            folders_.Insert(hash);
        }
        hash = FnvStep(hash, Fold(c));
    }
    if (folders_.Has(hash)) why = "other paths of the list have a folder of this name";
    if (!files_.Insert(hash)) {
        why =
            "the same file as another path of the list on Windows, where letter case makes no "
            "difference";
    }
    return why;
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
    if (refusal.empty()) refusal = paths_.Add(triple_[0]);
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
