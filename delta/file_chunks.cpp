#include "delta/file_chunks.h"

#include <algorithm>
#include <cstring>

namespace delta {

namespace {

constexpr std::size_t kPiece = 4 << 20;

std::uint64_t KeyOf(const trust::Sha256Digest& hash) {
    std::uint64_t key = 0;
    for (int i = 0; i < 8; ++i) key = key << 8 | hash[static_cast<std::size_t>(i)];
    return key;
}

// Makes the groups as the chunks come.
class Grouper {
public:
    Grouper(ChunkSink& sink, GroupSizes sizes, std::size_t recordBytes)
        : sink_(sink), sizes_(sizes), recordBytes_(recordBytes) {}

    void Add(const FileChunk& chunk) {
        sink_.Chunk(chunk);
        if (group_.record.chunks == 0) {
            group_ = FileGroup{chunk.offset, {}};
            records_.clear();
        }
        AppendRecord(records_, chunk.record, recordBytes_);
        group_.record.bytes += chunk.record.length;
        if (EndsGroup(chunk.record.hash, ++group_.record.chunks, sizes_)) Finish();
    }
    void Finish() {
        if (group_.record.chunks == 0) return;
        group_.record.hash = GroupHash(records_, recordBytes_);
        sink_.Group(group_);
        group_.record.chunks = 0;
    }

private:
    ChunkSink& sink_;
    const GroupSizes sizes_;
    const std::size_t recordBytes_;
    FileGroup group_;
    std::string records_;
};

}  // namespace

bool ChunkFile(platform::File& file, ChunkSink& sink, trust::Sha256Digest* whole,
               const std::function<bool()>& stop, Cutting cutting) {
    return ChunkStream([&file](void* data, std::size_t size) { return file.read_some(data, size); },
                       sink, whole, stop, cutting);
}

bool ChunkStream(const ReadSome& read, ChunkSink& sink, trust::Sha256Digest* whole,
                 const std::function<bool()>& stop, Cutting cutting) {
    const Chunker chunker(cutting.chunks);
    const std::size_t max = chunker.sizes().max;
    std::vector<std::uint8_t> buffer(kPiece + max);
    std::size_t have = 0, at = 0;
    std::uint64_t offset = 0;
    bool end = false;
    trust::Sha256 wholeHash, chunkHash;
    Grouper groups(sink, cutting.groups, cutting.recordBytes);
    for (;;) {
        if (!end && have - at < max) {
            if (stop && stop()) return false;
            std::memmove(buffer.data(), buffer.data() + at, have - at);
            have -= at;
            at = 0;
            while (!end && have < buffer.size()) {
                const long n = read(buffer.data() + have, buffer.size() - have);
                if (n < 0) return false;
                end = n == 0;
                have += static_cast<std::size_t>(n);
            }
        }
        if (at == have) break;
        const std::size_t length = chunker.Cut(buffer.data() + at, have - at, end);
        chunkHash.Update(buffer.data() + at, length);
        if (whole) wholeHash.Update(buffer.data() + at, length);
        groups.Add({offset, {static_cast<std::uint32_t>(length), chunkHash.Final()}});
        offset += length;
        at += length;
    }
    groups.Finish();
    if (whole) *whole = wholeHash.Final();
    return true;
}

IndexWriter::IndexWriter(Cutting cutting) {
    index_.chunkSizes = cutting.chunks;
    index_.groupSizes = cutting.groups;
    index_.recordBytes = cutting.recordBytes;
}

void IndexWriter::Chunk(const FileChunk& chunk) {
    AppendRecord(list_, chunk.record, index_.recordBytes);
    index_.fileSize += chunk.record.length;
}

void IndexWriter::Group(const FileGroup& group) {
    index_.groups.push_back(group.record);
}

void OldCopy::Chunk(const FileChunk& chunk) {
    chunks_.push_back({KeyOf(chunk.record.hash), chunk.offset << 24 | chunk.record.length});
    size_ = chunk.offset + chunk.record.length;
}

void OldCopy::Group(const FileGroup& group) {
    groups_.push_back(group);
}

void OldCopy::Finish() {
    std::sort(chunks_.begin(), chunks_.end(),
              [](const Entry& a, const Entry& b) { return a.key < b.key; });
    std::sort(groups_.begin(), groups_.end(),
              [](const FileGroup& a, const FileGroup& b) { return a.record.hash < b.record.hash; });
}

std::int64_t OldCopy::FindChunk(const ChunkRecord& record) const {
    const std::uint64_t key = KeyOf(record.hash);
    auto it = std::lower_bound(chunks_.begin(), chunks_.end(), key,
                               [](const Entry& e, std::uint64_t k) { return e.key < k; });
    for (; it != chunks_.end() && it->key == key; ++it) {
        if ((it->place & 0xFFFFFF) == record.length)
            return static_cast<std::int64_t>(it->place >> 24);
    }
    return -1;
}

std::int64_t OldCopy::FindGroup(const GroupRecord& record) const {
    const auto it = std::lower_bound(
        groups_.begin(), groups_.end(), record.hash,
        [](const FileGroup& g, const trust::Sha256Digest& h) { return g.record.hash < h; });
    if (it == groups_.end() || it->record.hash != record.hash ||
        it->record.chunks != record.chunks || it->record.bytes != record.bytes) {
        return -1;
    }
    return static_cast<std::int64_t>(it->offset);
}

}  // namespace delta
