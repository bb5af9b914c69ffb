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
// Each file comes in two forms, listed side by side in the signed manifest:
// the long one above, and the short one, "<hash>.index3" and
// "<hash>.chunks3": the file cut finer (1 KiB chunks on average, so less is
// fetched around a change), records of a 2-byte length and the first 8
// bytes of a chunk's SHA-256 (10 bytes, not 36), groups with the first 8
// bytes of their records' hash (16 bytes, not 40). Launchers that know the
// short form take it; older ones, which ignore it, the long one. A chunk or
// group that shares 8 bytes of hash with another is no danger: every file
// made is checked whole against its signed hash, and one that fails comes
// whole.
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

// The bytes of one record in the chunk list, which name the index's form:
// a 4-byte length and the whole hash in the long form, a 2-byte length and
// the hash's first 8 bytes in the short one.
inline constexpr std::size_t kChunkRecordBytes = 4 + 32;
inline constexpr std::size_t kShortRecordBytes = 2 + 8;
// The short form's chunks (chosen by measurement, as the long form's).
inline constexpr ChunkSizes kShortChunkSizes{256, 1024, 8192};

// How a file is cut (always its form's sizes in an index; others only to
// measure), and the records its groups' hashes are taken of.
struct Cutting {
    ChunkSizes chunks = kChunkSizes;
    GroupSizes groups = kGroupSizes;
    std::size_t recordBytes = kChunkRecordBytes;
};
// The cutting of the form of `recordBytes` records.
Cutting FormCutting(std::size_t recordBytes);

struct ChunkRecord {
    std::uint32_t length = 0;
    trust::Sha256Digest hash{};  // a short record's: its first 8 bytes, the rest 0
};

struct GroupRecord {
    std::uint32_t chunks = 0;
    std::uint32_t bytes = 0;
    // Of its records' bytes in the chunk list (the short form's: its first
    // 8 bytes, the rest 0).
    trust::Sha256Digest hash{};
};

// The most chunks the chunker can cut a file of `fileSize` bytes into (all
// of the least size but the last), and the longest index such a file can
// have (a group a chunk), in the form of `recordBytes` records.
std::uint64_t MostChunks(std::uint64_t fileSize, std::size_t recordBytes = kChunkRecordBytes);
std::uint64_t MostIndexBytes(std::uint64_t fileSize, std::size_t recordBytes = kChunkRecordBytes);

// The hash of a group whose records are `records`, as an index of
// `recordBytes` records holds it.
trust::Sha256Digest GroupHash(std::string_view records, std::size_t recordBytes);

// True when `chunk` (its hash) ends a group of `count` chunks so far.
bool EndsGroup(const trust::Sha256Digest& chunk, std::uint32_t count,
               GroupSizes sizes = kGroupSizes);

// Appends a record's bytes as a chunk list of `recordBytes` records holds
// them. Its length must fit (below 64 KiB in the short form).
void AppendRecord(std::string& out, const ChunkRecord& record,
                  std::size_t recordBytes = kChunkRecordBytes);
// Reads the records of `bytes` (a whole number of them). False for a size
// that is no whole number or a zero length.
bool ParseRecords(std::string_view bytes, std::vector<ChunkRecord>& records,
                  std::size_t recordBytes = kChunkRecordBytes);
// True when `hash`, a chunk's SHA-256, is the one `record` (of
// `recordBytes`) holds: as far as the record holds it.
bool HashMatches(const trust::Sha256Digest& hash, const ChunkRecord& record,
                 std::size_t recordBytes);

struct ChunkIndex {
    ChunkSizes chunkSizes;
    GroupSizes groupSizes;
    std::uint64_t fileSize = 0;
    std::vector<GroupRecord> groups;
    std::size_t recordBytes = kChunkRecordBytes;  // its chunk list's: the form

    std::string Format() const;
    // Strictly: the header, the sizes this program cuts with (an index of
    // other sizes is no use to it), groups that add up to the file's size
    // with the bytes their chunks can have (no chunk below the least size
    // but the file's last, none above the most), nothing after. On a
    // refusal `error` says why.
    static bool Parse(std::string_view bytes, ChunkIndex& index, std::string& error);
};

// The names of a file's index and chunk list, from its SHA-256, in the form
// of `recordBytes` records.
std::string IndexName(const trust::Sha256Digest& fileHash,
                      std::size_t recordBytes = kChunkRecordBytes);
std::string ChunkListName(const trust::Sha256Digest& fileHash,
                          std::size_t recordBytes = kChunkRecordBytes);

}  // namespace delta
