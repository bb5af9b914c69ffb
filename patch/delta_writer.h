// Where a file made from its old copy and ranges of the new one (a delta)
// is put together: its scratch file, at the new file's offsets. Fetched
// ranges are written in their places as they come, each chunk checked
// against its hash once whole (as much of it as the index's records
// hold); the pieces of the old copy are copied, and everything hashed, in
// file order. A delta cut short (a drop, a stop, a kill) leaves the scratch
// file and its record: the next run making the same file goes on with it
// and fetches only the chunks not yet there.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "patch/download_plan.h"
#include "patch/resume_record.h"
#include "platform/file.h"
#include "trust/sha256.h"

class DeltaWriter {
public:
    struct Range {
        std::uint64_t first = 0, last = 0;  // bytes of the new file, both included
        std::size_t firstChunk = 0, chunks = 0;
    };

    DeltaWriter(const PlannedFile& file, ScratchNames scratch);

    // Opens the old copy and the scratch file: the one an earlier run left
    // for this very file (its record tells), or a new one with its record.
    // False when either cannot be opened or made.
    bool Open();
    // What is still to be fetched, in file order; the bytes already there.
    const std::vector<Range>& Ranges() const { return ranges_; }
    std::uint64_t Present() const { return present_; }

    // Bytes of range `r`, in order from its first: written in their place;
    // false refuses them (not the chunks the index names: Corrupt(); or a
    // write that failed).
    bool Write(std::size_t r, const char* data, std::size_t size);
    bool Corrupt() const { return corrupt_; }
    // Range `r` ended: true when all of it came.
    bool RangeDone(std::size_t r);
    // The first byte of range `r` not yet written.
    std::uint64_t Next(std::size_t r) const { return progress_[r].next; }
    // Range `r` failed (cut, refused or not the chunks' bytes): it goes on
    // from its first chunk not yet checked, asked of another host, and is
    // no longer corrupt.
    void Rewind(std::size_t r);

    // Copies from the old copy and hashes, in file order, about `bytes` of
    // it now, up to a fetched piece that is not all there yet. False when
    // a read or a write failed.
    bool Advance(std::size_t bytes);
    // Every byte is in its place and hashed: Matches() tells the verdict.
    bool Complete() const { return piece_ == file_.delta.pieces.size(); }
    bool Matches() { return hash_.Final() == *file_.hash; }
    std::uint64_t Made() const { return made_; }

    // A record beside the scratch file names it for the next run.
    bool HasRecord() const { return recordOnDisk_; }
    // The record goes; the scratch file is kept (to be put in place, or to
    // go on with) or removed.
    void Discard(bool keepFile);
    void Close();

private:
    bool Resume();
    bool ChunkThere(const delta::FileChunk& chunk);
    void AddRange(std::size_t chunk);

    const PlannedFile& file_;
    const ScratchNames scratch_;
    platform::File old_, out_;
    std::vector<Range> ranges_;
    std::vector<bool> there_;  // per fetched chunk
    std::uint64_t present_ = 0;
    // Per range: its next byte, and the hash of its current chunk so far.
    struct Progress {
        std::uint64_t next = 0;
        std::size_t chunk = 0;
        trust::Sha256 hash;
    };
    std::vector<Progress> progress_;
    bool corrupt_ = false;
    // File order: the piece the hash has reached, and how far into it.
    std::size_t piece_ = 0;
    std::uint64_t into_ = 0;
    std::uint64_t made_ = 0;
    trust::Sha256 hash_;
    std::vector<char> buffer_;
    bool recordOnDisk_ = false;
};
