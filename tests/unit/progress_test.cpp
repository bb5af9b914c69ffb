// The run's progress reports, against a clock the test sets.
#include <gtest/gtest.h>

#include "patch/patch_options.h"
#include "patch/run_progress.h"
#include "support/recording_report.h"

using namespace testsupport;

namespace {

TEST(Progress, ReportsAtMostOnceASecondInSixteenBits) {
    RecordingReport report;
    std::uint32_t now = 0;
    RunProgress progress(report, [&now] { return now; });
    progress.SetDue(3, 8192);
    const auto at = [](std::uint16_t run, std::uint16_t file, std::uint16_t done = 0) {
        return ProgressReport{run, file, done, 3};
    };
    const struct {
        std::uint32_t clock;
        double received, fileDone, fileSize;
        Reports reports;
    } steps[] = {
        // The first call of a run reports at once.
        {5000, 0, 0, 4096, {at(0, 0), SpeedReport{}}},
        {6000, 2048, 2048, 4096, {}},  // exactly one second later: nothing
        // Just after: file 3072/4096, run 3072/8192; 3 KiB in 1.001 s is
        // 2 KB/s, with 5 KiB left 2 s.
        {6001, 1024, 3072, 4096, {at(3750, 7500), SpeedReport{2, 2}}},
        {6500, 428, 3500, 4096, {}},
        // Size not known: file at 0. Under 1 KB/s: speed and time 0.
        {7100, 500, 4000, 0, {at(4882, 0), SpeedReport{}}},
        // More than announced: the run at 129882, the time at -1 s, each
        // sent as its low 16 bits.
        {8200, 102400, 106400, 0, {at(64346, 0), SpeedReport{90, 65535}}},
    };
    for (const auto& s : steps) {
        report.values.clear();
        now = s.clock;
        progress.Received(s.received);
        progress.Show(s.fileDone, s.fileSize);
        EXPECT_EQ(report.values, s.reports) << s.clock;
    }
    // A file done reports at 10000; the next shown reports at once while the
    // run's bytes keep adding up.
    report.values.clear();
    progress.FileDone();
    progress.NewFile();
    now = 8300;
    progress.Received(500);
    progress.Show(500, 2000);
    EXPECT_EQ(report.values, (Reports{at(64346, 10000, 1), at(64957, 2500, 1)}));
    EXPECT_EQ(progress.BytesDone(), 106900);
    // A file that goes on from 1000 bytes on disk: they count as done (run
    // 110900, file 4000/6000) but not as speed (2 KB/s), which shows at most
    // the cap.
    progress.SetLimitRate(1024);
    progress.FileDone();
    progress.NewFile();
    progress.Resumed(1000);
    report.values.clear();
    now = 9500;
    progress.Received(3000);
    progress.Show(4000, 6000);
    EXPECT_EQ(report.values, (Reports{at(4303, 6666, 2), SpeedReport{1, 65436}}));
    // The real clock counts from the process's start, whatever the uptime.
    EXPECT_LT(PatchOptions().clock(), 600000u);
}

}  // namespace
