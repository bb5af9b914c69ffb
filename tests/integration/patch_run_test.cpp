// Whole patch runs against the in-process server: every end state with its
// reports, log lines and the files left in the game directory; then
// valdora-patch as a user runs it.
#include "endpoints/endpoints.h"
#include "support/engine_run.h"
#include "support/process.h"
#include "support/signing.h"

namespace fs = std::filesystem;
using namespace testsupport;

namespace {

// A file done, with the run at `run` ten-thousandths.
constexpr ProgressReport done(double run, std::uint16_t files, std::uint16_t total) {
    return {static_cast<std::uint16_t>(run), 10000, files, total};
}

// In the game directory, where launcher-form paths lead.
struct PatchRun : EngineRun {
    PatchRun() { fs::current_path(game); }
};

TEST_F(PatchRun, ReadyDownloadsWhatDiffersOverOneConnection) {
    const std::string w(1000, 'w'), x(3000, 'x'), t(4000, 't');
    const std::string odd =
        "t\xFCrk\xE7"
        "e #1%.pak";  // CP1254, and bytes a URL encodes
    // n/e/w.pak in folders still to be made, and compressed on the way.
    serve({{"n/e/w.pak", w}, {"data/maps/x.map", x}, {"same.pak", "same"}, {odd, t}},
          {{"n/e/w.pak", {{200, w, Reply::Mode::Gzip}}}});
    write_tree(game, {{"data/maps/x.map", "old"}, {"same.pak", "same"}});
    const auto d = run();
    // The run counts what came over the wire: w.pak compressed.
    const auto at = [](double bytes, std::uint16_t files) {
        return done(bytes / 8000 * 10000, files, 3);
    };
    const double wire = 3000 + gzip(w).size();
    EXPECT_EQ(report.values,
              (Reports{at(3000, 1), at(wire, 2), at(wire + 4000, 3), Done{3}, Ready{2}}));
    EXPECT_EQ(log(), check_log({kMissingFolder, kMissing},
                               {"3 adet dosya download edilecek...",
                                "data\\maps\\x.map download ediliyor...",
                                "n\\e\\w.pak download ediliyor...", odd + " download ediliyor...",
                                "Dosyalar download edildi."}));
    // On disk the name is UTF-8.
    EXPECT_EQ(
        differences(game,
                    {{"n/e/w.pak", w}, {"data/maps/x.map", x}, {"t\u00FCrk\u00E7e #1%.pak", t}}),
        Log{});
    EXPECT_EQ(server.connections("/files/"), 1);
    EXPECT_TRUE(d->IsFinished());
    EXPECT_EQ(d->GetServers().at(1).gameArg1, "10.0.0.2");
    write_tree(game, {{"~temp.dat", "half"}, {"~temp.dat.resume", "its record"}});  // stale
    run();
    EXPECT_FALSE(fs::exists("~temp.dat.resume"));
    EXPECT_EQ(report.values, (Reports{Done{0}, Ready{2}}));
    EXPECT_EQ(server.requests("/files/"), 3);
}

// Current: the listed size (its low 32 bits) and, to the hour, the list's
// time (05.03.2024 07:08:09). Anything else is fetched.
TEST_F(PatchRun, FilesOfTheListedSizeWithinAnHourOfItsTimeAreCurrent) {
    const std::tuple<std::int64_t, std::uintmax_t, bool> local[] = {
        {kTime - 4089, 5, false},      {kTime + 6710, 5, false}, {kTime, (1ull << 32) + 5, false},
        {kTime - 4090, 5, true},       {kTime + 6711, 5, true},  {kTime - 86400, 5, true},
        {kTime + 31 * 86400, 5, true}, {kTime, 4, true},         {kTime, 6, true}};
    Files files;
    for (std::size_t i = 0; i < std::size(local); ++i) {
        const std::string name = std::to_string(i);
        write_tree(game, {{name, "bytes"}});
        fs::resize_file(name, std::get<1>(local[i]));
        set_write_time(name, std::get<0>(local[i]));
        files[name] = "bytes";
    }
    serve(files);
    run();
    for (std::size_t i = 0; i < std::size(local); ++i) {
        EXPECT_EQ(server.requests("/files/" + std::to_string(i)), std::get<2>(local[i])) << i;
    }
}

TEST_F(PatchRun, FaultyListsEndTheRunBeforeAnything) {
    const std::string head = "b\r\nv\r\n", entry = std::string("\r\n1\r\n") + kTimeText + "\r\n";
    const std::string good = head + "a.pak" + entry;
    std::string many = head;  // a file more than any list may name
    for (std::size_t i = 0; i <= kMaxListEntries; ++i) many += std::to_string(i) + entry;
    // No final break, empty, an error status, cut short (right after all of
    // `good`), what the launcher refuses after a good entry (the fuzz inputs
    // have them all); and the reason the log gives, if any.
    const std::pair<Reply, std::string> cases[] = {
        {{200, good.substr(0, good.size() - 2)}, ""},
        {{200, ""}, ""},
        {{404, good}, ""},
        {{200, good + good, Reply::Mode::Drop}, ""},
        {{200, good + "..\\up.pak" + entry}, "..\\up.pak: "},
        {{200, good + "launcher.exe" + entry}, "launcher.exe: reserved: the running launcher"},
        {{200, good + "Base/Launcher_Log.txt" + entry}, "reserved: the launcher's log"},
        {{200, good + "./~temp.dat" + entry}, "an empty or \".\" folder"},
        {{200, good + "a.pak\r\n1\r\n31.02.2024 10:00:00\r\n"}, "31.02.2024 10:00:00 is none"},
        {{200, good + "a.pak\r\n1\r\n05.03.2024 99:99:99\r\n"}, "99:99:99 is none"},
        {{200, many}, "more than 200000 files"},
        {{200, std::string(33 << 20, '\n')}, "longer than 33554432 bytes"},
        {{200, good + std::string(5000, 'a') + entry}, "a line of more than 4096 bytes"},
    };
    for (const auto& [reply, why] : cases) {
        clear();
        server.serve(kListPath, {reply});
        EXPECT_FALSE(run()->IsFinished());
        EXPECT_EQ(report.values, (Reports{Failed{FailureKind::UpdateList}})) << why;
        const Log lines = log();
        EXPECT_EQ(lines.at(0), "download listesi hatal\xFD !");
        EXPECT_NE(lines.back().find(why), std::string::npos) << lines.back();
        EXPECT_EQ(strays(game, {}), Log{});
    }
    EXPECT_EQ(server.requests("/files/") + server.requests(kServers), 0);
}

// A file that cannot be fetched or put in place: the messages and log lines
// of each fault, b.pak's old copy kept, and the next run, with the fault
// gone, converging.
TEST_F(PatchRun, AFileThatFailsKeepsItsOldCopyAndTheNextRunConverges) {
    const Files site = {
        {"a.pak", std::string(1000, 'a')}, {"b.pak", pattern(2999 << 10, 2)}, {"c.pak", "c"}};
    const ProgressReport first = done(1000.0 / (1001 + (2999 << 10)) * 10000, 1, 3);
    const Failed write{FailureKind::Write};
    const auto failed = [&](int code, const Reports& before = {}) {
        Reports reports = {first};
        reports.insert(reports.end(), before.begin(), before.end());
        reports.insert(reports.end(), {Failed{FailureKind::Transfer, code}, Done{1}, Ready{2}});
        return reports;
    };
    const Reply dropped{200, site.at("b.pak"), Reply::Mode::Drop};
    const Reply longer{200, site.at("b.pak") + "and more"};
    const struct {
        const char* fault;
        std::function<bool()> set_up;  // false: not possible here (no right to mount)
        Reports reports;
        Log log;  // after "b.pak download ediliyor..."
    } cases[] = {
        {"a folder in b.pak's place: skipped, the next file still comes",
         [&] { return write_bytes("b.pak/keep", "kept"), true; },
         {first, write, done(10000, 2, 3), Done{2}, Ready{2}},
         {"Dosya yazma hatas\xFD: " + kFolderCode, "c.pak download ediliyor..."}},
        {"the connection dropped",
         [&] { return server.serve("/files/b.pak", {dropped}), true; },
         failed(18),
         {"http hatas\xFD: 18"}},
        {"a body longer than listed",
         [&] { return server.serve("/files/b.pak", {longer}), true; },
         failed(23),
         {"http hatas\xFD: 23"}},
        {"the disk full",
         [&] { return mount_small_disk(".", "1m"); },
         failed(23, {write}),
         {"Dosya yazma hatas\xFD: 28", "http hatas\xFD: 23"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fault);
        clear();
        serve(site);
        if (!c.set_up()) continue;
        fs::current_path(game);  // into what was mounted on it
        const bool folder = fs::is_directory("b.pak");
        if (!folder) write_tree(game, {{"b.pak", "old b"}}, kOldTime);
        run();
        EXPECT_EQ(report.values, c.reports);
        Log lines = {"3 adet dosya download edilecek...", "a.pak download ediliyor...",
                     "b.pak download ediliyor..."};
        lines.insert(lines.end(), c.log.begin(), c.log.end());
        lines.push_back("Dosyalar download edildi.");
        const Log inTheWay = {
            "Error opening file in GetLastWriteTime(): " + kFolderCode,
            "Error opening file in isFileSizeDifferentWithHandle(): " + kExistsCode};
        EXPECT_EQ(log(), check_log({kMissing, folder ? inTheWay : Log{}, kMissing}, lines));
        EXPECT_EQ(differences(game, {{"a.pak", site.at("a.pak")}}), Log{});
        EXPECT_EQ(read_bytes(folder ? "b.pak/keep" : "b.pak"), folder ? "kept" : "old b");
        EXPECT_EQ(fs::exists("c.pak"), folder);

        fs::remove_all("b.pak");
        serve(site);
        if (resize_small_disk("8m")) fs::current_path(game);
        run();
        EXPECT_EQ(differences(game, site), Log{});
        EXPECT_EQ(strays(game, site), Log{});
        fs::current_path(dir.path());
        unmount_small_disk(game);
        fs::current_path(game);
    }
}

TEST_F(PatchRun, TemporaryFileThatCannotBeCreatedEndsTheRun) {
    serve({{"a.pak", "a"}});
    fs::create_directory("~temp.dat");
    EXPECT_FALSE(run()->IsFinished());
    EXPECT_EQ(report.boxes,
              (std::vector<Box>{{u"Could not create ~temp.dat !", u"Error", platform::BoxIcon::None,
                                 platform::BoxOwner::None}}));
    EXPECT_EQ(report.values, (Reports{Failed{FailureKind::Write}}));
    EXPECT_EQ(log(), check_log({kMissing}, {"1 adet dosya download edilecek...",
                                            "a.pak download ediliyor..."}));
    EXPECT_EQ(server.requests("/"), 1);  // the list only
}

// Nothing of a run lands outside the game directory: not through a folder
// link that leads out, nor into a file that a scratch file's name shares
// (the name is taken by a new file), and the run goes on.
TEST_F(PatchRun, NothingIsWrittenOutsideTheGameDirectory) {
    const fs::path outside = dir.path() / "outside";
    write_bytes(outside / "x.map", "outside");
    fs::create_directory_symlink("../outside", "maps");
    fs::create_hard_link(outside / "x.map", "~temp.dat");
    fs::create_symlink(outside / "x.map", "~temp.dat.resume");
    serve({{"a.pak", "a"}, {"maps/sub/y.map", "y"}, {"maps/x.map", "new map"}});
    run();
    EXPECT_EQ(read_bytes(outside / "x.map"), "outside");
    EXPECT_EQ(strays(outside, {{"x.map", ""}}), Log{});
    EXPECT_EQ(read_bytes("a.pak"), "a");
}

TEST_F(PatchRun, LauncherUpdateComesAloneAndHandsOver) {
    // Listed before it: a file far beyond the limit of one run.
    serve({{"A.pak", ""}, {"_launcher.dll", "new launcher"}, {"b.pak", "b"}}, {},
          {{"A.pak", 100u << 20}});
    write_tree(game, {{"_launcher.dll", "old launcher"}}, kOldTime);
    run();
    EXPECT_EQ(report.values, (Reports{done(10000, 1, 1), Done{1}, HandedOver{}}));
    EXPECT_EQ(log(),
              check_log({kMissing, kMissing},
                        {"1 adet dosya download edilecek...", "_launcher.dll download ediliyor...",
                         "Dosyalar download edildi.", "launcher updated."}));
    EXPECT_EQ(differences(game, {{"_launcher.dll", "new launcher"}}), Log{});
    EXPECT_EQ(server.requests("/"), 2);  // the list and the launcher
}

TEST_F(PatchRun, ServerListIsAskedForUntilItHasAnEntry) {
    serve({});
    server.serve(kServers, {{200, ""},
                            {500, kServerList},
                            {200, "<html>no list</html>"},
                            {200, std::string(64 << 10, '|'), Reply::Mode::Endless},
                            {200, kServerList}});
    EXPECT_EQ(run()->GetServers().size(), 2u);
    EXPECT_EQ(report.values, (Reports{Done{0}, Ready{2}}));
    EXPECT_EQ(server.requests(kServers), 5);
    // The empty, the failed and the endless reply arrive as no text.
    const std::string empty = "server listesi bo\xFE !";
    EXPECT_EQ(log(), check_log({}, {empty, empty, empty}));
}

// A stop (the window closing) ends the run within a second in every phase,
// and is no failure: no failure reported, no faulty list, no empty server
// list, no box (80 MiB would be due after the check); nor is anything
// reported after it (the downloads done, the servers ready).
TEST_F(PatchRun, AStopEndsEveryPhaseAtOnceAndIsNoFailure) {
    Files many;  // a check long enough to be caught in the middle
    std::map<std::string, std::uint32_t> listed;
    for (int i = 0; i < 30000; ++i)
        many["d/" + std::to_string(i)], listed["d/" + std::to_string(i)] = 4096;
    const std::string stalled(100000, '\n');
    const std::tuple<std::string, Reports, std::function<bool()>> cases[] = {
        {kListPath, {}, [&] { return server.requests(kListPath) > 0; }},
        {"the check", {}, [&] { return log().size() > 100; }},
        // All the server sends before it stalls has come: only the stop can end it.
        {"/files/a.pak",
         {},
         [&] {
             std::error_code e;
             return fs::file_size("~temp.dat", e) == stalled.size() / 2;
         }},
        {kServers, {Done{0}}, [&] { return server.requests(kServers) > 0; }},
    };
    for (const auto& [stalls, reports, reached] : cases) {
        clear();
        serve(stalls == "the check" ? many : Files{{"a.pak", stalled}}, {}, listed);
        if (stalls == kServers) write_tree(game, {{"a.pak", stalled}});
        server.serve(stalls, {{200, stalled, Reply::Mode::Stall}});
        auto d = start();
        ASSERT_TRUE(wait_until(reached)) << stalls;
        EXPECT_TRUE(d->Stop(std::chrono::milliseconds(1500))) << stalls;
        EXPECT_EQ(report.values, reports) << stalls;
        EXPECT_EQ(report.boxes, std::vector<Box>{});
        const Log lines = log();
        for (const char* line : {"download listesi hatal\xFD !", "server listesi bo\xFE !"}) {
            EXPECT_EQ(std::count(lines.begin(), lines.end(), line), 0) << stalls;
        }
        EXPECT_FALSE(fs::exists("~temp.dat"));
    }
}

// valdora-patch: its exit status, what it prints, and the most memory it
// takes when a list names more files than a list may (never held whole).
// Bodies that never end or lie about their size: the hostile-server suite.
TEST_F(PatchRun, ValdoraPatchExitStatusTellsHowTheRunEnded) {
    std::string valid = "b\r\nv\r\n";  // more files than a list may name, each its own
    for (std::size_t i = 0; i <= kMaxListEntries; ++i) {
        valid += std::to_string(i) + "\r\n1\r\n" + kTimeText + "\r\n";
    }
    const Reply entries{200, valid};
    // A signed release whose list is not the one served: 31 MiB of tiny
    // entries instead, never read (nor its files looked up).
    const trust::SecretKey key = NewKey();
    write_bytes(dir.path() / "key.pub", trust::FormatPublicKey(trust::PublicKeyOf(key)));
    const std::string manifest = std::string(64, '0') + "  Patcher/1000_1.0.0.1_Update.txt\n";
    std::string tiny = "b\r\nv\r\n";
    while (tiny.size() < (31 << 20)) tiny += "a\r\n1\r\nt\r\n";
    const Replies hostile = {{kListPath, {{200, tiny}}},
                             {kListPath + std::string(".sha256"), {{200, manifest}}},
                             {kListPath + std::string(".sha256.minisig"),
                              {{200, SignText(key, manifest, "version=1 product=valdora")}}}};
    const std::string web = valdora::kWebHost;  // named in the too-much box
    const struct {
        int status;
        std::string shown;
        Files files;
        Replies replies = {};  // by path, the list's and the server list's too
        std::vector<std::string> args = {};
        std::map<std::string, std::uint32_t> listed = {};
    } cases[] = {
        {0, "G\u00FCncelleme tamamland\u0131 !\nSunucu listesi bekleniyor...\n", {{"a.pak", "a"}}},
        {0, "B\u00FCt\u00FCn dosyalar", {{"_launcher.dll", "a"}}, {}, {"-test_launcher"}},
        {0, "haz\u0131r.\n  V1\n  V2\n", {{"a.pak", "a"}}, {}, {"/QMTR284"}},
        {1,
         "deneyiniz. (2, 0)\n  The requested URL returned error: 404\n",
         {},
         {{kListPath, {{404, "x"}}}}},
        {1, "(2, 0)\n  more than 200000 files\n", {}, {{kListPath, {entries}}}},
        {1,
         "(2, 0)\n  the update list's bytes are not the signed ones\n",
         {},
         hostile,
         {"--trusted-key", (dir.path() / "key.pub").string()}},
        {0,
         "B\u00FCt\u00FCn dosyalar",
         {{"a.pak", ""}, {"b.pak", ""}},
         {},
         {"-qmtr284"},
         {{"a.pak", 73399320}, {"b.pak", 1000}}},  // exactly 70 MiB: no box
        {2,
         "[Bilgi] G\u00FCncellenecek \u00E7ok fazla dosya var.\n" + web + " adresinden",
         {{"a.pak", "a"}, {"d/b.pak", ""}},
         {},
         {},
         {{"a.pak", 73399321}, {"d/b.pak", 1000}}},
        {3, "launch_helper.exe\n", {{"_launcher.dll", "a"}, {"b.pak", "a"}}},
        {4,
         "Dosya: 1 / 2\nG\u00FCncelleme tamamlanamad\u0131 ! L\u00FCtfen daha sonra tekrar "
         "deneyiniz. (3, 22)\n  The requested URL returned error: 500\n",
         {{"a.pak", "a"}, {"b.pak", "a"}},
         {{"b.pak", {{500, "error"}}}},
         {"--max-transfers", "1"}},  // a.pak done before b.pak fails
        {4, "(1, 0)\n", {{"a.pak", "a"}, {"b.pak", "b"}}, {{"a folder in the way", {}}}},
        {64, "usage: ", {}, {}, {"--server-wait", "x"}},
    };
    for (const auto& c : cases) {
        clear();
        serve(c.files, c.replies, c.listed);
        server.serve(kServers, kServerList);
        for (const auto& [path, replies] : c.replies) {
            if (path[0] == '/') server.serve(path, replies);  // the list, the server list
        }
        if (c.replies.count("a folder in the way")) write_bytes("b.pak/in the way", "");
        // GNU time reports the most memory valdora-patch itself held (a
        // child of this test would count the test's own pages as well).
        const fs::path peak = dir.path() / "peak";
        std::vector<std::string> args = {VALDORA_PATCH_EXE, "--update-list", server.url(kListPath),
                                         "--server-list", server.url(kServers)};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const Result r = testsupport::run(measuring_peak_memory(args, peak), game);
        EXPECT_EQ(r.status, c.status) << r.output;
        EXPECT_NE(r.output.find(c.shown), std::string::npos) << r.output;
        const long peakKiB = std::atol(read_bytes(peak).c_str());
        std::printf("exit %d: peak %ld KiB\n", r.status, peakKiB);
#ifndef __SANITIZE_ADDRESS__  // shadow memory and quarantine come on top
        EXPECT_LT(peakKiB, 100 << 10) << r.output;
#endif
    }
}

}  // namespace
