// The manifest beside the update list: the SHA-256 of the list and of every
// file on the site, in sha256sum's format, so that
// `sha256sum -c Patcher/1000_1.0.0.1_Update.txt.sha256` checks a site:
//
//   64 lowercase hex digits, two blanks, the path under the site, LF
//
// Paths are bytes as the site stores them (UTF-8: the update list's CP1254
// converted), "/" between folders, relative, without "." or ".." or empty parts, without
// backslash or control characters (sha256sum would escape those), each
// once.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "trust/sha256.h"

namespace trust {

struct ManifestEntry {
    std::string path;
    Sha256Digest hash{};
};

class Manifest {
public:
    // The whole text, strictly: every line as above and LF-ended, at least
    // one line. On a refusal `manifest` is left empty and `error` names the
    // line and the fault.
    static bool Parse(std::string_view text, Manifest& manifest, std::string& error);

    // Adds a line; false with the reason for a path the format cannot hold
    // or one already there.
    bool Add(std::string path, const Sha256Digest& hash, std::string& error);
    // The text, lines in the order they were added.
    std::string Format() const;

    // The hash listed for `path`, or nullptr.
    const Sha256Digest* Find(std::string_view path) const;
    const std::vector<ManifestEntry>& entries() const { return entries_; }

private:
    // Looked up by string_view, no copy of the path made for it.
    struct PathHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view path) const {
            return std::hash<std::string_view>()(path);
        }
    };
    std::vector<ManifestEntry> entries_;
    std::unordered_map<std::string, std::size_t, PathHash, std::equal_to<>> index_;
};

// Why `path` cannot stand in a manifest, or "".
std::string ManifestPathProblem(std::string_view path);

}  // namespace trust
