// A file cut into the chunks and groups of its index, read once from its
// start in large pieces. The chunks go to a sink: the publisher's writes
// the index and the chunk list, the launcher's (OldCopy) keeps what it
// needs to find chunks of a new version in its old copy of the file.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "delta/chunk_index.h"
#include "platform/file.h"

namespace delta {

struct FileChunk {
    std::uint64_t offset = 0;
    ChunkRecord record;
};

struct FileGroup {
    std::uint64_t offset = 0;
    GroupRecord record;
};

class ChunkSink {
public:
    virtual ~ChunkSink() = default;
    virtual void Chunk(const FileChunk& chunk) = 0;
    // After the last chunk of the group.
    virtual void Group(const FileGroup& group) = 0;
};

// Cuts `file` from where it stands to its end, `cutting`'s way. With
// `whole` its SHA-256 as well. False when a read fails
// (platform::last_error()) or `stop` answers true (asked between pieces of
// a few MiB).
bool ChunkFile(platform::File& file, ChunkSink& sink, trust::Sha256Digest* whole = nullptr,
               const std::function<bool()>& stop = {}, Cutting cutting = {});
// The same from any stream: `read` fills up to `size` bytes and answers
// how many (0 at the end, below 0 when reading failed).
using ReadSome = std::function<long(void* data, std::size_t size)>;
bool ChunkStream(const ReadSome& read, ChunkSink& sink, trust::Sha256Digest* whole = nullptr,
                 const std::function<bool()>& stop = {}, Cutting cutting = {});

// The publisher's sink: the index and the chunk list of a file in the form
// of `cutting`, which the file must be cut with.
class IndexWriter : public ChunkSink {
public:
    explicit IndexWriter(Cutting cutting = {});
    void Chunk(const FileChunk& chunk) override;
    void Group(const FileGroup& group) override;

    const ChunkIndex& index() const { return index_; }
    const std::string& chunkList() const { return list_; }
    Cutting cutting() const { return {index_.chunkSizes, index_.groupSizes, index_.recordBytes}; }

private:
    ChunkIndex index_;
    std::string list_;
};

// The launcher's old copy of a file: its groups by hash (cut with the
// record form of the index it is matched against), and each chunk's place
// by the first 8 bytes of its hash (16 bytes a chunk: 8 MiB for a GiB). A
// chunk is taken as found when those bytes and its length match, which is
// all a short record holds; should two chunks ever share them, the new
// file's hash, checked whole before it is used, refuses the result.
class OldCopy : public ChunkSink {
public:
    void Chunk(const FileChunk& chunk) override;
    void Group(const FileGroup& group) override;
    // After the last chunk: makes the lookups.
    void Finish();

    // The offset of a chunk of `record`'s hash and length, or -1.
    std::int64_t FindChunk(const ChunkRecord& record) const;
    // The offset of a group of `record`'s hash, chunks and bytes, or -1.
    std::int64_t FindGroup(const GroupRecord& record) const;
    std::uint64_t size() const { return size_; }
    std::size_t chunks() const { return chunks_.size(); }

private:
    struct Entry {
        std::uint64_t key;    // the hash's first 8 bytes
        std::uint64_t place;  // offset << 24 | length
    };
    std::vector<Entry> chunks_;
    std::vector<FileGroup> groups_;
    std::uint64_t size_ = 0;
};

}  // namespace delta
