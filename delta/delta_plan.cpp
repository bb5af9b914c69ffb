#include "delta/delta_plan.h"

#include <algorithm>

namespace delta {

namespace {

// Adds a piece, joined to the one before when it goes on from it (a copy
// of the bytes right after the last copy's, or a fetch right after a
// fetch).
void AddPiece(DeltaPlan& plan, const Piece& piece) {
    if (!plan.pieces.empty()) {
        Piece& last = plan.pieces.back();
        if (last.offset + last.length == piece.offset && last.fetch == piece.fetch &&
            (piece.fetch || last.from + last.length == piece.from)) {
            last.length += piece.length;
            last.chunkCount += piece.chunkCount;
            return;
        }
    }
    plan.pieces.push_back(piece);
}

}  // namespace

std::uint64_t DeltaPlan::FetchBytes() const {
    std::uint64_t bytes = 0;
    for (const Piece& piece : pieces) bytes += piece.fetch ? piece.length : 0;
    return bytes;
}

std::size_t DeltaPlan::Ranges() const {
    return static_cast<std::size_t>(
        std::count_if(pieces.begin(), pieces.end(), [](const Piece& p) { return p.fetch; }));
}

DeltaPlanner::DeltaPlanner(ChunkIndex index, const OldCopy& old)
    : index_(std::move(index)), old_(old) {
    oldGroupAt_.assign(index_.groups.size(), -1);
    records_.resize(index_.groups.size());
    std::uint64_t listOffset = 0;
    for (std::size_t g = 0; g < index_.groups.size(); ++g) {
        const GroupRecord& group = index_.groups[g];
        const std::uint64_t listBytes = std::uint64_t{group.chunks} * index_.recordBytes;
        oldGroupAt_[g] = old_.FindGroup(group);
        if (oldGroupAt_[g] >= 0) {
            ++matched_;
        } else if (!missing_.empty() && missing_.back().firstGroup + missing_.back().groups == g) {
            ++missing_.back().groups;
            missing_.back().length += listBytes;
        } else {
            missing_.push_back({g, 1, listOffset, listBytes});
        }
        listOffset += listBytes;
    }
}

bool DeltaPlanner::TakeRecords(const ListRange& range, std::string_view bytes) {
    if (bytes.size() != range.length) return false;
    std::size_t at = 0;
    for (std::size_t g = range.firstGroup; g < range.firstGroup + range.groups; ++g) {
        const GroupRecord& group = index_.groups[g];
        const std::string_view slice = bytes.substr(at, group.chunks * index_.recordBytes);
        at += slice.size();
        std::vector<ChunkRecord> records;
        if (GroupHash(slice, index_.recordBytes) != group.hash ||
            !ParseRecords(slice, records, index_.recordBytes)) {
            return false;
        }
        std::uint64_t sum = 0;
        for (const ChunkRecord& record : records) {
            // What the chunker cuts: only the file's last chunk is short.
            const bool last = g + 1 == index_.groups.size() && &record == &records.back();
            if (record.length > index_.chunkSizes.max ||
                (record.length < index_.chunkSizes.min && !last)) {
                return false;
            }
            sum += record.length;
        }
        if (sum != group.bytes) return false;
        records_[g] = std::move(records);
    }
    return true;
}

bool DeltaPlanner::Plan(DeltaPlan& plan) const {
    plan = DeltaPlan();
    plan.size = index_.fileSize;
    plan.recordBytes = index_.recordBytes;
    std::uint64_t offset = 0;
    for (std::size_t g = 0; g < index_.groups.size(); ++g) {
        const GroupRecord& group = index_.groups[g];
        if (oldGroupAt_[g] >= 0) {
            AddPiece(plan, {offset, group.bytes, false, static_cast<std::uint64_t>(oldGroupAt_[g]),
                            0, 0});
            offset += group.bytes;
            continue;
        }
        for (const ChunkRecord& record : records_[g]) {
            if (const std::int64_t from = old_.FindChunk(record); from >= 0) {
                AddPiece(plan,
                         {offset, record.length, false, static_cast<std::uint64_t>(from), 0, 0});
            } else {
                AddPiece(plan, {offset, record.length, true, 0, plan.fetched.size(), 1});
                plan.fetched.push_back({offset, record});
            }
            offset += record.length;
        }
    }
    return offset == plan.size;
}

}  // namespace delta
