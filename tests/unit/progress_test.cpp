// The run's progress messages, against a clock the test sets.
#include <gtest/gtest.h>

#include "patch/messages.h"
#include "patch/patch_options.h"
#include "patch/run_progress.h"
#include "support/recording_target.h"

using testsupport::Posted;

namespace {

TEST(Progress, PostsAtMostOnceASecondWithPackedHalves) {
    testsupport::RecordingTarget target;
    std::uint32_t now = 0;
    RunProgress progress(&target, [&now] { return now; });
    progress.SetDue(3, 8192);
    constexpr platform::LPARAM kFiles = 3 << 16;
    const struct {
        std::uint32_t clock;
        double received, fileDone, fileSize;
        std::vector<Posted> posts;
    } steps[] = {
        // The first call of a run posts at once.
        {5000, 0, 0, 4096, {{WM_PATCH_PROGRESS, 0, kFiles}, {WM_PATCH_SPEED}}},
        {6000, 2048, 2048, 4096, {}},  // exactly one second later: nothing
        // Just after: file 3072/4096, run 3072/8192; 3 KiB in 1.001 s is
        // 2 KB/s, with 5 KiB left 2 s.
        {6001,
         1024,
         3072,
         4096,
         {{WM_PATCH_PROGRESS, 3750 << 16 | 7500, kFiles}, {WM_PATCH_SPEED, 2 << 16 | 2}}},
        {6500, 428, 3500, 4096, {}},
        // Size not known: file at 0. Under 1 KB/s: speed and time 0.
        {7100, 500, 4000, 0, {{WM_PATCH_PROGRESS, 4882 << 16, kFiles}, {WM_PATCH_SPEED}}},
        // More than announced: the run at 129882, the time at -1 s, each
        // sent as its low 16 bits.
        {8200,
         102400,
         106400,
         0,
         {{WM_PATCH_PROGRESS, 64346u << 16, kFiles}, {WM_PATCH_SPEED, 65535u << 16 | 90}}},
    };
    for (const auto& s : steps) {
        target.posts.clear();
        now = s.clock;
        progress.Received(s.received);
        progress.Show(s.fileDone, s.fileSize);
        EXPECT_EQ(target.posts, s.posts) << s.clock;
    }
    // A file done posts at 10000; the next shown posts at once while the
    // run's bytes keep adding up.
    target.posts.clear();
    progress.FileDone();
    progress.NewFile();
    now = 8300;
    progress.Received(500);
    progress.Show(500, 2000);
    EXPECT_EQ(target.posts,
              (std::vector<Posted>{{WM_PATCH_PROGRESS, 64346u << 16 | 10000, kFiles | 1},
                                   {WM_PATCH_PROGRESS, 64957u << 16 | 2500, kFiles | 1}}));
    EXPECT_EQ(progress.BytesDone(), 106900);
    // A file that goes on from 1000 bytes on disk: they count as done (run
    // 110900, file 4000/6000) but not as speed (2 KB/s), which shows at most
    // the cap.
    progress.SetLimitRate(1024);
    progress.FileDone();
    progress.NewFile();
    progress.Resumed(1000);
    target.posts.clear();
    now = 9500;
    progress.Received(3000);
    progress.Show(4000, 6000);
    EXPECT_EQ(target.posts,
              (std::vector<Posted>{{WM_PATCH_PROGRESS, 4303u << 16 | 6666, kFiles | 2},
                                   {WM_PATCH_SPEED, 65436u << 16 | 1}}));
    // The real clock counts from the process's start, whatever the uptime.
    EXPECT_LT(PatchOptions().clock(), 600000u);
}

}  // namespace
