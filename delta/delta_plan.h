// How to make a file's new version from its old copy and its chunk index:
// which bytes to copy from the old copy (from anywhere in it: every group
// and chunk of the new file found there by its hash) and which to fetch,
// each run of neighbouring chunks to fetch one range.
//
//   DeltaPlanner planner(index, oldCopy);  - oldCopy: the old file cut (ChunkFile)
//   planner.Missing()            - the groups the old copy lacks, as ranges
//                                  of the chunk list to fetch
//   planner.TakeRecords(r, text) - each range's records, checked against
//                                  the groups' hashes in the signed index
//   planner.Plan(plan)           - the pieces, in file order
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "delta/chunk_index.h"
#include "delta/file_chunks.h"

namespace delta {

struct Piece {
    std::uint64_t offset = 0;  // in the new file
    std::uint64_t length = 0;
    bool fetch = false;
    std::uint64_t from = 0;      // a copy: its offset in the old copy
    std::size_t firstChunk = 0;  // fetched: its chunks in DeltaPlan::fetched
    std::size_t chunkCount = 0;
};

struct DeltaPlan {
    std::uint64_t size = 0;
    std::vector<Piece> pieces;
    std::vector<FileChunk> fetched;  // the chunks of the fetched pieces, in order
    // Of the index's records: a fetched chunk is checked against as much of
    // its hash as they hold (HashMatches).
    std::size_t recordBytes = kChunkRecordBytes;

    std::uint64_t FetchBytes() const;
    std::size_t Ranges() const;
};

// Consecutive groups whose records are fetched as one range of the chunk
// list.
struct ListRange {
    std::size_t firstGroup = 0;
    std::size_t groups = 0;
    std::uint64_t offset = 0;  // in the chunk list
    std::uint64_t length = 0;
};

class DeltaPlanner {
public:
    // `old` is finished (OldCopy::Finish); it must outlive the planner.
    DeltaPlanner(ChunkIndex index, const OldCopy& old);

    // No group of the new file is in the old copy: the whole file is the
    // cheaper fetch.
    bool NothingInCommon() const { return matched_ == 0; }
    const std::vector<ListRange>& Missing() const { return missing_; }
    // The fetched records of `range`; false when they are not the records
    // of its groups (the index's hashes and sizes, chunks the chunker could
    // cut), which refuses the delta.
    bool TakeRecords(const ListRange& range, std::string_view bytes);
    // Once every range's records are taken; false while one is not.
    bool Plan(DeltaPlan& plan) const;

private:
    ChunkIndex index_;
    const OldCopy& old_;
    std::vector<std::int64_t> oldGroupAt_;  // per new group: its offset in the old copy, or -1
    std::size_t matched_ = 0;
    std::vector<ListRange> missing_;
    std::vector<std::vector<ChunkRecord>> records_;  // per new group, when missing
};

}  // namespace delta
