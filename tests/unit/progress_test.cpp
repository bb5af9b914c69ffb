#include <gtest/gtest.h>

#include "patch/patch_downloader.h"
#include "patch/progress_text.h"
#include "support/recording_target.h"

using testsupport::Posted;

namespace {

constexpr platform::LPARAM kThreeFiles = 3 << 16;

struct ProgressRig {
    testsupport::RecordingTarget target;
    std::uint32_t now = 0;
    PatchDownloader downloader{&target, "http://unused", options()};

    PatchOptions options() {
        PatchOptions o;
        o.clock = [this] { return now; };
        return o;
    }
    ProgressRig() {
        downloader.bytesTotal = 8192;
        downloader.filesTotal = 3;
    }
    ~ProgressRig() { downloader.doneEvent.set(); }  // no run was started
};

TEST(Progress, PostsAtMostOnceASecondWithPackedHalves) {
    ProgressRig rig;
    const struct {
        std::uint32_t clock;
        double dltotal, dlnow;
        std::vector<Posted> posts;
    } steps[] = {
        // The first call of a file (and of the run) posts at once.
        {5000, 4096, 0, {{WM_PATCH_PROGRESS, 0, kThreeFiles}, {WM_PATCH_SPEED, 0, 0}}},
        // Exactly one second later: nothing.
        {6000, 4096, 2048, {}},
        // Just after: file 3072/4096, run 3072/8192; 3 KiB in 1.001 s is
        // 2 KB/s, and 5 KiB left at 2 KB/s is 2 s.
        {6001,
         4096,
         3072,
         {{WM_PATCH_PROGRESS, 3750 << 16 | 7500, kThreeFiles}, {WM_PATCH_SPEED, 2 << 16 | 2, 0}}},
        {6500, 4096, 3500, {}},
        // Size not reported: file position 0. Under 1 KB/s: speed and time 0.
        {7100, 0, 4000, {{WM_PATCH_PROGRESS, 4882 << 16 | 0, kThreeFiles}, {WM_PATCH_SPEED, 0, 0}}},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(s.clock);
        const std::size_t before = rig.target.posts().size();
        rig.now = s.clock;
        EXPECT_EQ(rig.downloader.OnProgress(s.dltotal, s.dlnow, 0, 0), 0);
        const std::vector<Posted> all = rig.target.posts();
        EXPECT_EQ(std::vector<Posted>(all.begin() + before, all.end()), s.posts);
    }
    EXPECT_EQ(rig.downloader.bytesDone, 4000);

    // The next file starts afresh; bytes of the run keep adding up.
    rig.downloader.filesDone = 1;
    rig.downloader.lastProgressBytes = 0;
    rig.downloader.lastProgressTick = 0;
    rig.now = 7200;
    rig.downloader.OnProgress(2000, 500, 0, 0);
    EXPECT_EQ(rig.target.posts().back(),
              (Posted{WM_PATCH_PROGRESS, 5493 << 16 | 2500, 3 << 16 | 1}));
    EXPECT_EQ(rig.downloader.bytesDone, 4500);

    // A stop aborts the very next call without a post.
    const std::size_t count = rig.target.posts().size();
    rig.downloader.stopEvent.set();
    rig.now = 20000;
    EXPECT_EQ(rig.downloader.OnProgress(2000, 1000, 0, 0), -1);
    EXPECT_EQ(rig.target.posts().size(), count);
}

TEST(Progress, ValuesOutOfRangeAreSentAsTheirLow16Bits) {
    // Each over an interval of 2 s since the last speed post.
    const struct {
        double total, done;
        platform::WPARAM speedWord;
    } cases[] = {
        // 1 KB/s with 976560 s left.
        {1e9, 2048, (976560u % 65536) << 16 | 1},
        // More than announced: -2 s left.
        {0, 10 * 1024, 65534u << 16 | 5},
        // 102400 KB/s.
        {200.0 * 1024 * 1024, 200.0 * 1024 * 1024, 102400 - 65536},
    };
    for (const auto& c : cases) {
        ProgressRig rig;
        rig.downloader.bytesTotal = c.total;
        rig.downloader.lastSpeedTick = 1000;
        rig.now = 3000;
        rig.downloader.OnProgress(0, c.done, 0, 0);
        ASSERT_FALSE(rig.target.posts().empty());
        EXPECT_EQ(rig.target.posts().back(), (Posted{WM_PATCH_SPEED, c.speedWord, 0}))
            << c.total << " " << c.done;
    }
}

TEST(Progress, WindowTexts) {
    const struct {
        unsigned seconds;
        const char* text;
    } remaining[] = {{3725, "Kalan s\xFCre: 1s 2dk 5s"},
                     {125, "Kalan s\xFCre: 2dk 5s"},
                     {59, "Kalan s\xFCre: 59s"},
                     {0, "Kalan s\xFCre: 0s"},
                     {3600, "Kalan s\xFCre: 1s 0dk 0s"}};
    for (const auto& r : remaining) EXPECT_EQ(RemainingTimeText(r.seconds), r.text);

    const PatchSpeedView speed = DescribePatchSpeed(125 << 16 | 120);
    EXPECT_EQ(speed.speedText, "H\xFDz: 120 KB/s");
    EXPECT_EQ(speed.remainingText, "Kalan s\xFCre: 2dk 5s");

    const struct {
        platform::WPARAM w;
        platform::LPARAM l;
        int file, run;
        const char* counter;
    } progress[] = {{2500 << 16 | 7680, 3 << 16 | 0, 7680, 2500, "Dosya: 0 / 3"},
                    {10000u << 16 | 10000, 3 << 16 | 3, 10000, 10000, "Dosya: 3 / 3"}};
    for (const auto& p : progress) {
        const PatchProgressView view = DescribePatchProgress(p.w, p.l, "data\\a.pak");
        EXPECT_EQ(view.filePosition, p.file);
        EXPECT_EQ(view.runPosition, p.run);
        EXPECT_EQ(view.statusText, "G\xFCncelleniyor: data\\a.pak");
        EXPECT_EQ(view.counterText, p.counter);
    }
    EXPECT_EQ(PatchDoneText(2), "G\xFCncelleme tamamland\xFD !");
    EXPECT_EQ(PatchDoneText(0), "B\xFCt\xFCn dosyalar g\xFCncel durumda.");
}

}  // namespace
