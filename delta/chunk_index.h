// The chunk index of one file, as the publisher writes it beside the file
// and the launcher reads it: two static files, named by the file's SHA-256.
//
//   "<hash>.index"   the groups: a header, then per group of chunks its
//                    chunk count, its bytes and the SHA-256 of its records
//                    in the chunk list. Small (40 bytes per 128 KiB):
//                    fetched whole; its own hash is a line of the signed
//                    manifest.
//   "<hash>.chunks"  the chunk list: per chunk its length and SHA-256, in
//                    file order. Only the records of groups the launcher
//                    does not find in its old copy are fetched (Range), each
//                    checked against its group's hash.
//
// A chunk's offset is the sum of the lengths before it; a group's, of the
// groups' bytes before it. Groups end at chunks whose hash says so (content
// defined, like the chunks): a change moves only the groups around it.
// Numbers are little-endian.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "delta/chunker.h"
#include "trust/sha256.h"

namespace delta {

// Files smaller than this get no index: fetched whole, as they always were.
inline constexpr std::uint64_t kMinIndexedSize = 1 << 20;

// Chunks per group: a group ends after a chunk whose hash's first word is
// a multiple of `average` (a power of two), or at `max` chunks.
struct GroupSizes {
    std::uint32_t average = 0;
    std::uint32_t max = 0;
};
inline constexpr GroupSizes kGroupSizes{64, 512};

// How a file is cut: always these in an index; others only to measure.
struct Cutting {
    ChunkSizes chunks = kChunkSizes;
    GroupSizes groups = kGroupSizes;
};

struct ChunkRecord {
    std::uint32_t length = 0;
    trust::Sha256Digest hash{};
};
// The bytes of one record in the chunk list.
inline constexpr std::size_t kChunkRecordBytes = 4 + 32;

struct GroupRecord {
    std::uint32_t chunks = 0;
    std::uint32_t bytes = 0;
    trust::Sha256Digest hash{};  // of its records' bytes in the chunk list
};

// The most chunks the chunker can cut a file of `fileSize` bytes into (all
// of the least size but the last), and the longest index such a file can
// have (a group a chunk).
std::uint64_t MostChunks(std::uint64_t fileSize);
std::uint64_t MostIndexBytes(std::uint64_t fileSize);

// True when `chunk` (its hash) ends a group of `count` chunks so far.
bool EndsGroup(const trust::Sha256Digest& chunk, std::uint32_t count,
               GroupSizes sizes = kGroupSizes);

// Appends a record's bytes as the chunk list holds them.
void AppendRecord(std::string& out, const ChunkRecord& record);
// Reads the records of `bytes` (a whole number of them). False for a size
// that is no whole number or a zero length.
bool ParseRecords(std::string_view bytes, std::vector<ChunkRecord>& records);

struct ChunkIndex {
    ChunkSizes chunkSizes;
    GroupSizes groupSizes;
    std::uint64_t fileSize = 0;
    std::vector<GroupRecord> groups;

    std::string Format() const;
    // Strictly: the header, the sizes this program cuts with (an index of
    // other sizes is no use to it), groups that add up to the file's size
    // with the bytes their chunks can have (no chunk below the least size
    // but the file's last, none above the most), nothing after. On a
    // refusal `error` says why.
    static bool Parse(std::string_view bytes, ChunkIndex& index, std::string& error);
};

// The names of a file's index and chunk list, from its SHA-256.
std::string IndexName(const trust::Sha256Digest& fileHash);
std::string ChunkListName(const trust::Sha256Digest& fileHash);

}  // namespace delta
