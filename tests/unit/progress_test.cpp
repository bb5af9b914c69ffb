// The run's progress reports, against a clock the test sets.
#include <gtest/gtest.h>

#include "patch/mirror_set.h"
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

// The hosts of a run, on a clock of the test's own: a site named twice
// counts once; requests go where they will be done soonest (hosts not yet
// measured taken as fast as the fastest); a host failing three in a row is
// set aside and used only once every other host has failed the request; the
// only host never is.
TEST(MirrorSet, SpreadsRequestsByWhatEachDeliversAndSetsAsideAHostThatKeepsFailing) {
    using namespace std::chrono;
    steady_clock::time_point now{};
    MirrorSet hosts({"http://a", "http://b", "http://c", "http://a"}, {}, [&] { return now; });
    ASSERT_EQ(hosts.size(), 3u);
    EXPECT_EQ(hosts.Url("http://p:1/game/x", 0), "http://p:1/game/x");
    EXPECT_EQ(hosts.Url("http://p:1/game/x", 2), "http://c/game/x");
    std::vector<std::size_t> picked;
    const auto ask = [&](int n, MirrorSet::Hosts tried = 0) {
        picked.clear();
        for (int i = 0; i < n; ++i) hosts.Began(picked.emplace_back(*hosts.Pick(tried)));
        return picked;
    };
    EXPECT_EQ(ask(4), (std::vector<std::size_t>{0, 1, 2, 0}));
    // In one second a gave 1 MB, b 3 MB: b takes two more, then c (not
    // measured, as fast as b, one request in flight) is as soon again.
    now += 1s;
    for (const std::size_t h : {0, 0}) hosts.Served(h, 500000, "");
    hosts.Served(1, 3000000, "");
    EXPECT_EQ(ask(3), (std::vector<std::size_t>{1, 1, 2}));
    for (int i = 0; i < 3; ++i) hosts.Failed(2, "refused");
    EXPECT_TRUE(hosts.host(2).setAside);
    EXPECT_FALSE(hosts.host(1).setAside);
    // c only for a request a and b have failed; none once all have.
    MirrorSet::Hosts tried = 0;
    EXPECT_TRUE(hosts.MoveOn(0, tried, "") && hosts.MoveOn(1, tried, ""));
    EXPECT_EQ(ask(1, tried), (std::vector<std::size_t>{2}));
    EXPECT_FALSE(hosts.MoveOn(2, tried, ""));
    MirrorSet alone({"http://a"});
    for (int i = 0; i < 5; ++i) alone.Failed(0, "refused");
    EXPECT_FALSE(alone.host(0).setAside);
    EXPECT_EQ(alone.Pick(), std::optional<std::size_t>{0});
}

}  // namespace
