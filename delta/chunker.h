// Content-defined chunking: a file is cut where the bytes just before the
// cut say so (a gear hash over the last 64 bytes, FastCDC's normalized
// chunking), not at fixed offsets, so that an insert or a cut in one place
// moves no boundary far from it and the chunks of unchanged bytes stay the
// same chunks, wherever they now lie. The publisher cuts the new file and
// the launcher its old copy with the same sizes; chunks that hash the same
// need not be fetched.
#pragma once

#include <cstddef>
#include <cstdint>

namespace delta {

struct ChunkSizes {
    std::uint32_t min = 0;      // no cut before this many bytes (but at the end)
    std::uint32_t average = 0;  // a power of two: the cut is likeliest around it
    std::uint32_t max = 0;      // always a cut here
};

// The sizes of every index. Chosen by measurement (bench/chunk_sizes.cpp,
// bench/README.md): finer chunks fetch fewer bytes around each change,
// coarser ones make a smaller index and fewer requests.
inline constexpr ChunkSizes kChunkSizes{512, 2048, 16384};

class Chunker {
public:
    explicit Chunker(ChunkSizes sizes = kChunkSizes);

    // The length of the chunk that begins at `data`, of which `size` bytes
    // are at hand: a cut point in 1..size. With `last` unset and fewer than
    // `max` bytes at hand, 0 when no cut was found (more bytes decide).
    std::size_t Cut(const std::uint8_t* data, std::size_t size, bool last) const;

    const ChunkSizes& sizes() const { return sizes_; }

private:
    ChunkSizes sizes_;
    std::uint64_t strictMask_;  // before the average: harder to meet
    std::uint64_t looseMask_;   // after it: easier
};

}  // namespace delta
