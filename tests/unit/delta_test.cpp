// The chunk index and delta plans, on files of a few MiB: what a new
// version costs from an old copy changed in each of the usual ways, and
// what of an index or its records is refused.
#include <gtest/gtest.h>

#include "delta/delta_plan.h"
#include "delta/pack_index.h"
#include "support/files.h"
#include "support/temp_dir.h"

using namespace testsupport;

namespace {

struct Cut {
    delta::IndexWriter index;
    delta::OldCopy old;
};

// `bytes` written to a file and cut as both sides cut it, in the form of
// `recordBytes` records.
Cut CutBytes(const std::string& bytes, trust::Sha256Digest* whole = nullptr,
             std::size_t recordBytes = delta::kChunkRecordBytes) {
    write_bytes("f", bytes);
    const delta::Cutting form = delta::FormCutting(recordBytes);
    Cut cut{delta::IndexWriter(form), {}};
    for (delta::ChunkSink* sink :
         {static_cast<delta::ChunkSink*>(&cut.index), static_cast<delta::ChunkSink*>(&cut.old)}) {
        platform::File file = platform::File::open_for_reading("f");
        EXPECT_TRUE(delta::ChunkFile(file, *sink, whole, {}, form));
    }
    cut.old.Finish();
    return cut;
}

// The new bytes made as the plan says: copies from `old`, fetched pieces
// from `now` (each fetched chunk checked against its record).
std::string Apply(const delta::DeltaPlan& plan, const std::string& old, const std::string& now) {
    std::string made;
    for (const delta::Piece& piece : plan.pieces) {
        EXPECT_EQ(piece.offset, made.size());
        made += piece.fetch ? now.substr(piece.offset, piece.length)
                            : old.substr(piece.from, piece.length);
    }
    for (const delta::FileChunk& chunk : plan.fetched) {
        EXPECT_TRUE(
            delta::HashMatches(trust::Sha256Of(now.substr(chunk.offset, chunk.record.length)),
                               chunk.record, plan.recordBytes));
    }
    return made;
}

TEST(Delta, ANewVersionCostsAboutWhatChangedWhereverTheOldBytesNowLie) {
    TempDir dir;
    const std::size_t n = 3 << 20;
    const std::string base = pattern(n, 1), other = pattern(n, 2), bit = pattern(20000, 3);
    const auto swapHalves = [&] { return base.substr(n / 2) + base.substr(0, n / 2); };
    const struct {
        const char* change;
        std::string now;
        std::uint64_t changed;  // bytes that are new
        std::size_t seams;      // places where old bytes meet new or others
        bool nothingInCommon = false;
    } cases[] = {
        {"an insert at the start", bit + base, bit.size(), 1},
        {"an append", base + bit, bit.size(), 1},
        {"a truncation", base.substr(0, n - 100000), 0, 1},
        {"shifted content", base.substr(70000) + bit, bit.size(), 2},
        {"reordered halves", swapHalves(), 0, 3},
        {"an overwrite in the middle",
         base.substr(0, n / 2) + bit + base.substr(n / 2 + bit.size()), bit.size(), 1},
        {"the same bytes", base, 0, 0},
        {"an unrelated file", other, n, 1, true},
    };
    for (const auto& c : cases) {
        for (const std::size_t form : {delta::kChunkRecordBytes, delta::kShortRecordBytes}) {
            SCOPED_TRACE(std::string(c.change) + ", records of " + std::to_string(form));
            const Cut old = CutBytes(base, nullptr, form), now = CutBytes(c.now, nullptr, form);
            const std::string index = now.index.index().Format(), list = now.index.chunkList();
            delta::ChunkIndex read;
            std::string error;
            ASSERT_TRUE(delta::ChunkIndex::Parse(index, read, error)) << error;
            delta::DeltaPlanner planner(read, old.old);
            EXPECT_EQ(planner.NothingInCommon(), c.nothingInCommon);
            std::uint64_t records = 0;
            for (const delta::ListRange& range : planner.Missing()) {
                records += range.length;
                ASSERT_TRUE(planner.TakeRecords(range, list.substr(range.offset, range.length)));
            }
            delta::DeltaPlan plan;
            ASSERT_TRUE(planner.Plan(plan));
            EXPECT_EQ(Apply(plan, base, c.now), c.now);
            // What is fetched: the new bytes and a few chunks at each seam, one
            // range a seam; the records of the groups around them.
            EXPECT_GE(plan.FetchBytes(), c.changed);
            EXPECT_LE(plan.FetchBytes(), std::min(c.changed + c.seams * 2 * 16384, c.now.size()))
                << plan.FetchBytes();
            EXPECT_LE(plan.Ranges(), c.seams);
            EXPECT_LE(records, c.nothingInCommon ? list.size() : c.seams * 2 * 512 * form);
            EXPECT_EQ(planner.Missing().empty(), c.now == base);
        }
    }
}

TEST(Delta, AnIndexOrRecordsNotOfTheFileAreRefused) {
    TempDir dir;
    const std::string base = pattern(2 << 20, 4), now = pattern(4000, 5) + base;
    trust::Sha256Digest whole;
    const Cut cut = CutBytes(now, &whole);
    EXPECT_EQ(whole, trust::Sha256Of(now));
    const std::string index = cut.index.index().Format(), list = cut.index.chunkList();
    const Cut shortCut = CutBytes(now, nullptr, delta::kShortRecordBytes);
    const std::string shortIndex = shortCut.index.index().Format();
    const std::string shortList = shortCut.index.chunkList();
    std::string flipped = index, crowded = index;
    flipped[44] ^= 1;  // the first group's bytes
    // 512 chunks in the first group's bytes: most below the least size.
    crowded.replace(40, 4, std::string("\x00\x02\x00\x00", 4));
    const std::string groups = std::to_string(cut.index.index().groups.size()) + " groups long";
    const std::pair<std::string, std::string> bad[] = {
        {"not a chunk index", "VALDCHK2" + index.substr(8)},
        {"not " + std::to_string(shortCut.index.index().groups.size()) + " groups long",
         shortIndex + "x"},
        {"not a chunk index", index.substr(0, 30)},
        {"not " + groups, index.substr(0, index.size() - 1)},
        {"not " + groups, index + "x"},
        {"chunk sizes of another kind", index.substr(0, 12) + "\x01" + index.substr(13)},
        {"groups of", flipped},
        {"group 1 out of bounds", crowded},
    };
    delta::ChunkIndex read;
    std::string error;
    for (const auto& [why, text] : bad) {
        EXPECT_FALSE(delta::ChunkIndex::Parse(text, read, error));
        EXPECT_EQ(error.rfind(why, 0), 0u) << error;
        EXPECT_TRUE(read.groups.empty());
    }
    // Each form reads back as written, and its planner takes its own
    // records only.
    for (const std::size_t form : {delta::kChunkRecordBytes, delta::kShortRecordBytes}) {
        const bool full = form == delta::kChunkRecordBytes;
        const std::string &text = full ? index : shortIndex, &mine = full ? list : shortList;
        ASSERT_TRUE(delta::ChunkIndex::Parse(text, read, error));
        EXPECT_TRUE(read.recordBytes == form && read.Format() == text);
        const Cut old = CutBytes(base, nullptr, form);
        const Cut other = CutBytes(pattern(2 << 20, 6), nullptr, form);
        delta::DeltaPlanner planner(read, old.old);
        ASSERT_EQ(planner.Missing().size(), 1u);
        const delta::ListRange range = planner.Missing()[0];
        std::string tampered = mine.substr(range.offset, range.length);
        tampered[5] ^= 1;
        for (const std::string& records :
             {tampered, mine.substr(range.offset, range.length - 1),
              (full ? shortList : list).substr(range.offset, range.length),
              other.index.chunkList().substr(0, range.length)}) {
            EXPECT_FALSE(planner.TakeRecords(range, records));
        }
        delta::DeltaPlan plan;
        EXPECT_FALSE(planner.Plan(plan));  // a group without its records
        EXPECT_TRUE(planner.TakeRecords(range, mine.substr(range.offset, range.length)));
        EXPECT_TRUE(planner.Plan(plan));
    }

    // Records the chunker could not have cut: a chunk below the least size
    // that is not the file's last.
    const auto records = [](std::initializer_list<std::uint32_t> lengths) {
        std::string text;
        for (const std::uint32_t n : lengths) delta::AppendRecord(text, {n, trust::Sha256Of("x")});
        return text;
    };
    const std::string even = records({1000, 1000}), tiny = records({1, 1999});
    const std::string last = records({600, 400});
    delta::OldCopy nothing;
    nothing.Finish();
    for (const std::string& first : {tiny, even}) {
        delta::DeltaPlanner none(
            {delta::kChunkSizes,
             delta::kGroupSizes,
             3000,
             {{2, 2000, trust::Sha256Of(first)}, {2, 1000, trust::Sha256Of(last)}}},
            nothing);
        EXPECT_EQ(none.TakeRecords(none.Missing().at(0), first + last), first == even);
    }
}

// The index of a release's packs reads back as it was written; anything
// the publisher would not write is refused, with its line.
TEST(Delta, APackIndexReadsBackAndNothingElseIsTaken) {
    delta::PackIndex index;
    index.packs = {{trust::Sha256Of("a"), 7}, {trust::Sha256Of("b"), 65535}};
    index.files = {
        {0, 0, 3, "maps/Kara Orman.map"}, {0, 5, 2, "a"}, {1, 0, 65535, "m\u00FCzik/b c"}};
    const std::string text = index.Format(), a = trust::ToHex(trust::Sha256Of("a"));
    delta::PackIndex read;
    std::string error;
    ASSERT_TRUE(delta::PackIndex::Parse(text, read, error)) << error;
    EXPECT_EQ(read.Format(), text);
    EXPECT_EQ(read.files[2].name, "m\u00FCzik/b c");
    const std::string head = "valdora-packs 1\nP " + a + " 7\n";
    std::string longer = text;
    longer.replace(longer.rfind(" 65535 "), 7, " 65536 ");
    const std::pair<std::string, std::string> bad[] = {
        {"not a pack index", "valdora-packs 2" + text.substr(15)},
        {"the last line has no LF", text.substr(0, text.size() - 1)},
        {"no files", head},
        {"more than 1000000 lines", head + std::string(1000000, '\n')},
        {"line 2: not P", "valdora-packs 1\nP " + a.substr(1) + "A 7\n"},
        {"line 2: not P", "valdora-packs 1\nP " + a + " 07\n"},
        {"line 2: a pack of 33554433 bytes", "valdora-packs 1\nP " + a + " 33554433\n"},
        {"line 2: pack 0 out of order", "valdora-packs 1\nF 0 0 1 a\n"},
        {"line 3: neither", head + "F 0 +0 1 a\n"},
        {"line 3: pack 1 out of order", head + "F 1 0 1 a\n"},
        {"line 6: pack 0 out of order", head + "P " + a + " 7\nF 0 0 1 a\nF 1 0 1 b\nF 0 1 1 c\n"},
        {"line 3: a file of 0 bytes", head + "F 0 0 0 a\n"},
        {"line 6: a file of 65536 bytes", longer},
        {"line 3: past the end of pack 0", head + "F 0 6 2 a\n"},
        {"line 3: past the end of pack 0", head + "F 0 18446744073709551615 2 a\n"},
        {"line 3: neither", head + "F 0 18446744073709551616 2 a\n"},
        {"line 4: before the end of the file before", head + "F 0 2 2 a\nF 0 3 1 b\n"},
        {"line 4: a pack after the files", head + "F 0 0 1 a\nP " + a + " 7\n"},
        {"line 4: the name a twice", head + "F 0 0 1 a\nF 0 1 1 a\n"},
        {"pack 1 holds no file", head + "P " + a + " 7\nF 0 0 1 a\n"},
        {"line 3: an absolute path", head + "F 0 0 1 /a\n"},
        {"line 3: an empty, . or .. part", head + "F 0 0 1 a/../b\n"},
        {"line 3: a backslash or a control", head + "F 0 0 1 a\rb\n"},
        {"line 3: a backslash or a control", head + "F 0 0 1 a" + std::string(1, '\0') + "\n"},
    };
    for (const auto& [why, bytes] : bad) {
        EXPECT_FALSE(delta::PackIndex::Parse(bytes, read, error)) << why;
        EXPECT_EQ(error.rfind(why, 0), 0u) << error;
        EXPECT_TRUE(read.packs.empty() && read.files.empty());
    }
}

}  // namespace
