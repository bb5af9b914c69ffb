#include "delta/pack_index.h"

#include <algorithm>
#include <charconv>
#include <span>
#include <unordered_set>

#include "trust/manifest.h"

namespace delta {

namespace {

constexpr std::string_view kHeader = "valdora-packs 1\n";
constexpr std::size_t kMaxLines = 1000000;

// Cuts `line` at its first blanks into `fields`, the last field the rest of
// the line. False when it has fewer blanks.
bool Split(std::string_view line, std::span<std::string_view> fields) {
    for (std::size_t i = 0; i + 1 < fields.size(); ++i) {
        const std::size_t blank = line.find(' ');
        if (blank == line.npos) return false;
        fields[i] = line.substr(0, blank);
        line.remove_prefix(blank + 1);
    }
    fields.back() = line;
    return true;
}

// A whole field as a number, as std::to_string writes it: digits alone,
// no leading zero but in "0", within 64 bits.
bool Number(std::string_view digits, std::uint64_t& value) {
    const char* end = digits.data() + digits.size();
    const auto [at, fault] = std::from_chars(digits.data(), end, value);
    return !digits.empty() && (digits[0] != '0' || digits.size() == 1) && at == end &&
           fault == std::errc();
}

std::string TakePack(std::string_view line, PackIndex& read) {
    std::string_view fields[3];
    std::pair<trust::Sha256Digest, std::uint64_t> pack;
    if (!read.files.empty()) return "a pack after the files";
    if (!Split(line, fields) || !trust::FromHex(fields[1], pack.first) ||
        !Number(fields[2], pack.second)) {
        return "not P, 64 lowercase hex digits and a size";
    }
    if (pack.second == 0 || pack.second > kMaxPackBytes) {
        return "a pack of " + std::string(fields[2]) + " bytes";
    }
    read.packs.push_back(pack);
    return "";
}

// A file's line, checked against its pack and the file before it.
std::string TakeFile(std::string_view line, PackIndex& read,
                     std::unordered_set<std::string_view>& names) {
    std::string_view fields[5];
    std::uint64_t pack = 0;
    PackedFile file;
    if (!Split(line, fields) || fields[0] != "F" || !Number(fields[1], pack) ||
        !Number(fields[2], file.offset) || !Number(fields[3], file.length)) {
        return "neither a pack's line nor a file's";
    }
    // In the pack of the file before, or the next.
    const PackedFile* before = read.files.empty() ? nullptr : &read.files.back();
    const std::size_t least = before == nullptr ? 0 : before->pack;
    const std::size_t most = before == nullptr ? 0 : before->pack + 1;
    if (pack >= read.packs.size() || pack < least || pack > most) {
        return "pack " + std::string(fields[1]) + " out of order";
    }
    file.pack = static_cast<std::size_t>(pack);
    if (file.length == 0 || file.length >= kPackedFileBelow) {
        return "a file of " + std::string(fields[3]) + " bytes";
    }
    const std::uint64_t size = read.packs[file.pack].second;
    if (file.offset > size || file.length > size - file.offset) {
        return "past the end of pack " + std::string(fields[1]);
    }
    if (before != nullptr && before->pack == file.pack &&
        file.offset < before->offset + before->length) {
        return "before the end of the file before";
    }
    const std::string problem = trust::ManifestPathProblem(fields[4]);
    if (!problem.empty()) return problem;
    if (!names.insert(fields[4]).second) return "the name " + std::string(fields[4]) + " twice";
    file.name = fields[4];
    read.files.push_back(std::move(file));
    return "";
}

}  // namespace

bool PackIndex::Parse(std::string_view text, PackIndex& index, std::string& error) {
    index = PackIndex();
    error.clear();
    if (!text.starts_with(kHeader)) error = "not a pack index";
    if (!text.ends_with('\n')) error = "the last line has no LF";
    if (error.empty() &&
        static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) > kMaxLines) {
        error = "more than " + std::to_string(kMaxLines) + " lines";
    }
    PackIndex read;
    std::unordered_set<std::string_view> names;
    std::size_t number = 1;
    for (std::size_t at = kHeader.size(); error.empty() && at < text.size();) {
        const std::size_t end = text.find('\n', at);
        const std::string_view line = text.substr(at, end - at);
        at = end + 1;
        ++number;
        error = line.starts_with("P ") ? TakePack(line, read) : TakeFile(line, read, names);
        if (!error.empty()) error = "line " + std::to_string(number) + ": " + error;
    }
    if (error.empty() && read.files.empty()) error = "no files";
    if (error.empty() && read.files.back().pack + 1 != read.packs.size()) {
        error = "pack " + std::to_string(read.packs.size() - 1) + " holds no file";
    }
    if (error.empty()) index = std::move(read);
    return error.empty();
}

std::string PackIndex::Format() const {
    std::string text(kHeader);
    for (const auto& [hash, size] : packs) {
        text += "P " + trust::ToHex(hash) + " " + std::to_string(size) + "\n";
    }
    for (const PackedFile& file : files) {
        text += "F " + std::to_string(file.pack) + " " + std::to_string(file.offset) + " " +
                std::to_string(file.length) + " " + file.name + "\n";
    }
    return text;
}

std::string PackName(const trust::Sha256Digest& hash) {
    return trust::ToHex(hash) + ".pack";
}

}  // namespace delta
