// The packs of a release: its small files again, a few thousand of them
// concatenated into a few large files, so that a launcher fetches a folder
// of small files in one request rather than one each. Every file stays at
// its own URL too. In the release's folder, below kPackFolder:
//
//   "<hash>.pack"   the files' bytes one after the other, nothing else;
//                   named by the hex SHA-256 of its bytes.
//   "packs.index"   which file lies where, as text, LF after every line:
//
//     valdora-packs 1
//     P <64 hex: the pack's SHA-256> <its size>        once per pack
//     F <pack number> <offset> <length> <name>         once per file
//
// Pack numbers count the P lines from 0. The F lines follow all P lines in
// pack order, each pack's files in increasing, non-overlapping order; the
// name is the file's name below the release's folder (UTF-8, "/" between
// folders, as its own URL names it), the rest of the line, blanks and all.
// Both the packs and the index are lines of the signed manifest.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "trust/sha256.h"

namespace delta {

// Files below this size are packed (but for the launcher's own, and files
// of no bytes); a release with fewer than two of them has no packs.
inline constexpr std::uint64_t kPackedFileBelow = 64 << 10;
// A pack is filled in the files' order until the next would take it past
// this size.
inline constexpr std::uint64_t kMaxPackBytes = 32 << 20;
inline constexpr const char* kPackFolder = ".packs";
inline constexpr const char* kPackIndexName = "packs.index";

struct PackedFile {
    std::size_t pack = 0;
    std::uint64_t offset = 0, length = 0;
    std::string name;
};

struct PackIndex {
    std::vector<std::pair<trust::Sha256Digest, std::uint64_t>> packs;  // hash, size
    std::vector<PackedFile> files;

    // Strictly what Format writes for packs the publisher makes: the
    // header; P lines of sizes up to kMaxPackBytes; F lines in pack order
    // within their packs, each pack holding at least one, of lengths from
    // 1 to below kPackedFileBelow; names the manifest takes below the
    // release's folder (no CR, NUL or other control character, no leading
    // "/", no empty, "." or ".." part), each once; numbers without sign or
    // leading zeros; at most a million lines, the last LF-ended. On a
    // refusal `index` is left empty and `error` names the line and the fault.
    static bool Parse(std::string_view text, PackIndex& index, std::string& error);
    std::string Format() const;
};

// "<64 hex digits>.pack", the name of the pack of that SHA-256.
std::string PackName(const trust::Sha256Digest& hash);

}  // namespace delta
