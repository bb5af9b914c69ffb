// valdora-chunk-sizes: what a delta from OLD to NEW would fetch with given
// chunk and group sizes, without a server: the index, the chunk list's
// records of the groups OLD lacks, the ranges of NEW, and the requests for
// them. The measurement behind delta::kChunkSizes and delta::kGroupSizes
// (bench/delta_vs_zsync.sh prints it beside zsync and rsync).
//
//   valdora-chunk-sizes OLD NEW [MIN/AVERAGE/MAX/GROUP_AVERAGE/GROUP_MAX]...
//   valdora-chunk-sizes --plan FILE
//
// Without sizes, the ones the program uses. One line per set of sizes.
// --plan reads FILE as the engine reads an old copy before a delta (cut into
// chunks with their hashes, and the whole file's SHA-256) and prints the
// milliseconds it took.
#include <chrono>
#include <cstdio>
#include <string>

#include "delta/delta_plan.h"
#include "delta/file_chunks.h"

namespace {

bool Chunk(const char* path, delta::Cutting cutting, delta::ChunkSink& sink) {
    platform::File file = platform::File::open_for_reading(path);
    if (file && delta::ChunkFile(file, sink, nullptr, {}, cutting)) return true;
    std::fprintf(stderr, "valdora-chunk-sizes: %s: cannot be read\n", path);
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == "--plan") {
        const auto start = std::chrono::steady_clock::now();
        platform::File file = platform::File::open_for_reading(argv[2]);
        delta::OldCopy old;
        trust::Sha256Digest whole;
        const delta::Cutting form = delta::FormCutting(delta::kShortRecordBytes);
        if (!file || !delta::ChunkFile(file, old, &whole, {}, form)) return 1;
        old.Finish();
        std::printf(
            "%.1f ms, %zu chunks, %s\n",
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count(),
            old.chunks(), trust::ToHex(whole).c_str());
        return 0;
    }
    if (argc < 3) {
        std::fprintf(stderr, "usage: valdora-chunk-sizes OLD NEW [MIN/AVG/MAX/GAVG/GMAX]...\n");
        return 64;
    }
    std::vector<delta::Cutting> sets;
    for (int i = 3; i < argc; ++i) {
        delta::Cutting c;
        if (std::sscanf(argv[i], "%u/%u/%u/%u/%u", &c.chunks.min, &c.chunks.average, &c.chunks.max,
                        &c.groups.average, &c.groups.max) != 5) {
            std::fprintf(stderr, "valdora-chunk-sizes: %s: not MIN/AVG/MAX/GAVG/GMAX\n", argv[i]);
            return 64;
        }
        if (c.chunks.max > 0xFFFF) {
            std::fprintf(stderr,
                         "valdora-chunk-sizes: %s: short records hold lengths below 64 KiB\n",
                         argv[i]);
            return 64;
        }
        sets.push_back(c);
    }
    if (sets.empty()) sets.push_back(delta::FormCutting(delta::kShortRecordBytes));
    std::printf("%-26s %8s %9s %9s %9s %9s %5s %5s %5s %7s\n", "sizes", "chunks", "index",
                "records", "ranges", "fetched", "req", "list", "data", "cut ms");
    for (delta::Cutting& c : sets) {
        // The short records, as launchers fetch them.
        c.recordBytes = delta::kShortRecordBytes;
        delta::OldCopy old;
        delta::IndexWriter now(c);
        const auto start = std::chrono::steady_clock::now();
        if (!Chunk(argv[1], c, old)) return 1;
        const double ms =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count();
        old.Finish();
        if (!Chunk(argv[2], c, now)) return 1;
        const std::string index = now.index().Format(), list = now.chunkList();
        delta::DeltaPlanner planner(now.index(), old);
        std::uint64_t records = 0;
        for (const delta::ListRange& range : planner.Missing()) {
            records += range.length;
            planner.TakeRecords(range, std::string_view(list).substr(range.offset, range.length));
        }
        delta::DeltaPlan plan;
        if (!planner.Plan(plan)) return 1;
        const std::uint64_t fetched = index.size() + records + plan.FetchBytes();
        char name[64];
        std::snprintf(name, sizeof name, "%u/%u/%u/%u/%u", c.chunks.min, c.chunks.average,
                      c.chunks.max, c.groups.average, c.groups.max);
        std::printf("%-26s %8zu %9zu %9llu %9llu %9llu %5zu %5zu %5zu %7.0f\n", name,
                    list.size() / delta::kShortRecordBytes, index.size(),
                    static_cast<unsigned long long>(records),
                    static_cast<unsigned long long>(plan.FetchBytes()),
                    static_cast<unsigned long long>(fetched),
                    1 + planner.Missing().size() + plan.Ranges(), planner.Missing().size(),
                    plan.Ranges(), ms);
    }
    return 0;
}
