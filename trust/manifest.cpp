#include "trust/manifest.h"

#include <algorithm>

namespace trust {

std::string ManifestPathProblem(std::string_view path) {
    if (path.empty()) return "no path";
    if (path.size() > 4096) return "a path longer than 4096 bytes";
    if (path.front() == '/') return "an absolute path";
    for (const char c : path) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F || c == '\\') {
            return "a backslash or a control character in the path";
        }
    }
    for (std::size_t at = 0; at <= path.size();) {
        const std::size_t end = std::min(path.find('/', at), path.size());
        const std::string_view part = path.substr(at, end - at);
        if (part.empty() || part == "." || part == "..")
            return "an empty, . or .. part in the path";
        at = end + 1;
    }
    return "";
}

bool Manifest::Add(std::string path, const Sha256Digest& hash, std::string& error) {
    error = ManifestPathProblem(path);
    if (!error.empty()) return false;
    if (!index_.try_emplace(path, entries_.size()).second) {
        error = "the path " + path + " twice";
        return false;
    }
    entries_.push_back({std::move(path), hash});
    return true;
}

bool Manifest::Parse(std::string_view text, Manifest& manifest, std::string& error) {
    manifest = Manifest();
    // A site of many files: no rehashing and no moving of entries as it
    // grows. A line takes at least 68 bytes (hash, blanks, a byte, LF).
    const auto lines = std::min(
        static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')), text.size() / 68);
    manifest.entries_.reserve(lines);
    manifest.index_.reserve(lines);
    if (text.empty()) error = "empty";
    if (!text.empty() && text.back() != '\n') error = "the last line has no LF";
    int number = 0;
    for (std::size_t at = 0; error.empty() && at < text.size();) {
        const std::size_t end = text.find('\n', at);
        const std::string_view line = text.substr(at, end - at);
        at = end + 1;
        ++number;
        Sha256Digest hash;
        if (!FromHex(line.substr(0, 64), hash)) {
            error = "no 64 lowercase hex digits";
        } else if (line.substr(64, 2) != "  ") {
            error = "no two blanks between hash and path";
        } else {
            manifest.Add(std::string(line.substr(66)), hash, error);
        }
        if (!error.empty()) error = "line " + std::to_string(number) + ": " + error;
    }
    if (!error.empty()) manifest = Manifest();
    return error.empty();
}

std::string Manifest::Format() const {
    std::string text;
    for (const ManifestEntry& e : entries_) text += ToHex(e.hash) + "  " + e.path + "\n";
    return text;
}

const Sha256Digest* Manifest::Find(std::string_view path) const {
    const auto it = index_.find(path);
    return it == index_.end() ? nullptr : &entries_[it->second].hash;
}

}  // namespace trust
