#include "delta/chunk_index.h"

#include <algorithm>
#include <cstring>

namespace delta {

namespace {

// The long form's, and the short form's.
constexpr std::string_view kMagic = "VALDCHK1";
constexpr std::string_view kShortMagic = "VALDCHK3";
// Magic, chunk sizes (3), group sizes (2), the file's size, the group count.
constexpr std::size_t kHeaderBytes = 8 + 5 * 4 + 8 + 4;
// A group's chunk count and bytes, and its hash: whole or its first 8 bytes.
constexpr std::size_t kGroupHashBytes = 32;
constexpr std::size_t kShortGroupHashBytes = 8;

bool IsShort(std::size_t recordBytes) {
    return recordBytes == kShortRecordBytes;
}

std::size_t GroupHashBytes(std::size_t recordBytes) {
    return IsShort(recordBytes) ? kShortGroupHashBytes : kGroupHashBytes;
}

std::size_t GroupBytes(std::size_t recordBytes) {
    return 4 + 4 + GroupHashBytes(recordBytes);
}

// A record's length: 4 bytes in the long form, 2 in the short one.
std::size_t LengthBytes(std::size_t recordBytes) {
    return IsShort(recordBytes) ? 2 : 4;
}

void Put32(std::string& out, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) out += static_cast<char>(value >> (8 * i) & 0xFF);
}

void Put64(std::string& out, std::uint64_t value) {
    Put32(out, static_cast<std::uint32_t>(value));
    Put32(out, static_cast<std::uint32_t>(value >> 32));
}

std::uint32_t Get32(std::string_view bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) {
        value = value << 8 | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(i)]);
    }
    return value;
}

std::uint32_t Get16(std::string_view bytes, std::size_t at) {
    return static_cast<unsigned char>(bytes[at]) |
           std::uint32_t{static_cast<unsigned char>(bytes[at + 1])} << 8;
}

std::uint64_t Get64(std::string_view bytes, std::size_t at) {
    return Get32(bytes, at) | std::uint64_t{Get32(bytes, at + 4)} << 32;
}

void PutHash(std::string& out, const trust::Sha256Digest& hash, std::size_t bytes) {
    out.append(reinterpret_cast<const char*>(hash.data()), bytes);
}

// `bytes` of a hash; the rest 0.
trust::Sha256Digest GetHash(std::string_view from, std::size_t at, std::size_t bytes) {
    trust::Sha256Digest hash{};
    std::memcpy(hash.data(), from.data() + at, bytes);
    return hash;
}

}  // namespace

Cutting FormCutting(std::size_t recordBytes) {
    return {IsShort(recordBytes) ? kShortChunkSizes : kChunkSizes, kGroupSizes, recordBytes};
}

std::uint64_t MostChunks(std::uint64_t fileSize, std::size_t recordBytes) {
    const std::uint32_t least = FormCutting(recordBytes).chunks.min;
    return (fileSize + least - 1) / least;
}

std::uint64_t MostIndexBytes(std::uint64_t fileSize, std::size_t recordBytes) {
    return kHeaderBytes + MostChunks(fileSize, recordBytes) * GroupBytes(recordBytes);
}

trust::Sha256Digest GroupHash(std::string_view records, std::size_t recordBytes) {
    trust::Sha256Digest hash = trust::Sha256Of(records);
    std::fill(hash.begin() + static_cast<std::ptrdiff_t>(GroupHashBytes(recordBytes)), hash.end(),
              std::uint8_t{0});
    return hash;
}

bool EndsGroup(const trust::Sha256Digest& chunk, std::uint32_t count, GroupSizes sizes) {
    const std::uint32_t word = std::uint32_t{chunk[0]} | std::uint32_t{chunk[1]} << 8 |
                               std::uint32_t{chunk[2]} << 16 | std::uint32_t{chunk[3]} << 24;
    return count >= sizes.max || (word & (sizes.average - 1)) == 0;
}

void AppendRecord(std::string& out, const ChunkRecord& record, std::size_t recordBytes) {
    const std::size_t lengthBytes = LengthBytes(recordBytes);
    for (std::size_t i = 0; i < lengthBytes; ++i) {
        out += static_cast<char>(record.length >> (8 * i) & 0xFF);
    }
    PutHash(out, record.hash, recordBytes - lengthBytes);
}

bool ParseRecords(std::string_view bytes, std::vector<ChunkRecord>& records,
                  std::size_t recordBytes) {
    if (bytes.size() % recordBytes != 0) return false;
    const std::size_t lengthBytes = LengthBytes(recordBytes);
    records.clear();
    records.reserve(bytes.size() / recordBytes);
    for (std::size_t at = 0; at < bytes.size(); at += recordBytes) {
        ChunkRecord& record = records.emplace_back();
        record.length = lengthBytes == 4 ? Get32(bytes, at) : Get16(bytes, at);
        record.hash = GetHash(bytes, at + lengthBytes, recordBytes - lengthBytes);
        if (record.length == 0) return false;
    }
    return true;
}

bool HashMatches(const trust::Sha256Digest& hash, const ChunkRecord& record,
                 std::size_t recordBytes) {
    return std::memcmp(hash.data(), record.hash.data(), recordBytes - LengthBytes(recordBytes)) ==
           0;
}

std::string ChunkIndex::Format() const {
    std::string out(IsShort(recordBytes) ? kShortMagic : kMagic);
    for (const std::uint32_t value :
         {chunkSizes.min, chunkSizes.average, chunkSizes.max, groupSizes.average, groupSizes.max}) {
        Put32(out, value);
    }
    Put64(out, fileSize);
    Put32(out, static_cast<std::uint32_t>(groups.size()));
    for (const GroupRecord& group : groups) {
        Put32(out, group.chunks);
        Put32(out, group.bytes);
        PutHash(out, group.hash, GroupHashBytes(recordBytes));
    }
    return out;
}

bool ChunkIndex::Parse(std::string_view bytes, ChunkIndex& index, std::string& error) {
    index = ChunkIndex();
    const std::string_view magic = bytes.substr(0, kMagic.size());
    if (bytes.size() < kHeaderBytes || (magic != kMagic && magic != kShortMagic)) {
        error = "not a chunk index";
        return false;
    }
    ChunkIndex read;
    read.recordBytes = magic == kShortMagic ? kShortRecordBytes : kChunkRecordBytes;
    read.chunkSizes = {Get32(bytes, 8), Get32(bytes, 12), Get32(bytes, 16)};
    read.groupSizes = {Get32(bytes, 20), Get32(bytes, 24)};
    read.fileSize = Get64(bytes, 28);
    const std::uint32_t count = Get32(bytes, 36);
    const Cutting form = FormCutting(read.recordBytes);
    if (read.chunkSizes.min != form.chunks.min || read.chunkSizes.average != form.chunks.average ||
        read.chunkSizes.max != form.chunks.max || read.groupSizes.average != form.groups.average ||
        read.groupSizes.max != form.groups.max) {
        error = "chunk sizes of another kind";
        return false;
    }
    const std::size_t groupBytes = GroupBytes(read.recordBytes);
    if ((bytes.size() - kHeaderBytes) / groupBytes != count ||
        (bytes.size() - kHeaderBytes) % groupBytes != 0) {
        error = "not " + std::to_string(count) + " groups long";
        return false;
    }
    read.groups.reserve(count);
    std::uint64_t total = 0, chunks = 0;
    for (std::size_t at = kHeaderBytes; at < bytes.size(); at += groupBytes) {
        GroupRecord& group = read.groups.emplace_back();
        group.chunks = Get32(bytes, at);
        group.bytes = Get32(bytes, at + 4);
        group.hash = GetHash(bytes, at + 8, groupBytes - 8);
        // Only the file's last chunk may be shorter than the least.
        const std::uint64_t least = std::uint64_t{group.chunks} * read.chunkSizes.min -
                                    (at + groupBytes == bytes.size() ? read.chunkSizes.min - 1 : 0);
        if (group.chunks == 0 || group.chunks > read.groupSizes.max || group.bytes < least ||
            group.bytes > std::uint64_t{group.chunks} * read.chunkSizes.max) {
            error = "group " + std::to_string(read.groups.size()) + " out of bounds";
            return false;
        }
        total += group.bytes;
        chunks += group.chunks;
    }
    if (total != read.fileSize) {
        error = "groups of " + std::to_string(total) + " bytes for a file of " +
                std::to_string(read.fileSize);
        return false;
    }
    if (chunks > MostChunks(read.fileSize, read.recordBytes)) {
        error = std::to_string(chunks) + " chunks for a file of " + std::to_string(read.fileSize);
        return false;
    }
    index = std::move(read);
    return true;
}

std::string IndexName(const trust::Sha256Digest& fileHash, std::size_t recordBytes) {
    return trust::ToHex(fileHash) + (IsShort(recordBytes) ? ".index3" : ".index");
}

std::string ChunkListName(const trust::Sha256Digest& fileHash, std::size_t recordBytes) {
    return trust::ToHex(fileHash) + (IsShort(recordBytes) ? ".chunks3" : ".chunks");
}

}  // namespace delta
