// Whole patch runs against the in-process server: every end state with its
// posted messages, log lines and the files left in the game directory.
#include <chrono>
#include <thread>

#include "support/engine_run.h"
#include "support/process.h"

namespace fs = std::filesystem;
using namespace testsupport;

namespace {

constexpr platform::WPARAM done(platform::WPARAM run) {
    return run << 16 | 10000;
}

// In the game directory, where launcher-form paths lead.
class PatchRun : public EngineRun {
protected:
    PatchRun() { fs::current_path(game); }
};

TEST_F(PatchRun, ReadyDownloadsWhatDiffersOverOneConnection) {
    const std::string a(1000, 'a'), x(3000, 'x'), t(4000, 't');
    const std::string odd =
        "t\xFCrk\xE7"
        "e dosya #1%.pak";  // CP1254, and bytes a URL encodes
    serve({{"a.pak", a}, {"data/maps/x.map", x}, {"same.pak", "same"}, {odd, t}},
          {{"a.pak", {{200, a, Reply::Mode::Gzip}}},
           {"data/maps/x.map", {{200, x, Reply::Mode::Chunked}}}});
    write_tree(game, {{"data/maps/x.map", "old"}, {"same.pak", "same"}});

    const auto d = run();

    // The run counts what came over the wire: a.pak compressed.
    const double wire = double(gzip(a).size());
    const auto at = [](double bytes) { return done(platform::WPARAM(bytes / 8000 * 10000)); };
    EXPECT_EQ(target.posts, (Posts{{WM_PATCH_PROGRESS, at(wire), 3 << 16 | 1},
                                   {WM_PATCH_PROGRESS, at(wire + 3000), 3 << 16 | 2},
                                   {WM_PATCH_PROGRESS, at(wire + 7000), 3 << 16 | 3},
                                   {WM_PATCH_DONE, 3},
                                   {WM_SERVERLIST_READY, 2}}));
    EXPECT_EQ(log(), check_log({kMissing, kMissing},
                               {"3 adet dosya download edilecek...", "a.pak download ediliyor...",
                                "data\\maps\\x.map download ediliyor...",
                                odd + " download ediliyor...", "Dosyalar download edildi."}));
    // On disk the name is UTF-8.
    EXPECT_EQ(
        differences(game,
                    {{"a.pak", a}, {"data/maps/x.map", x}, {"t\u00FCrk\u00E7e dosya #1%.pak", t}}),
        Log{});
    EXPECT_EQ(server.requests("/files/"), 3);
    EXPECT_EQ(server.connections("/files/"), 1);
    EXPECT_TRUE(d->IsFinished());
    ASSERT_EQ(d->GetServers().size(), 2u);
    EXPECT_EQ(d->GetServers()[1].gameArg1, "10.0.0.2");

    run();
    EXPECT_EQ(target.posts, (Posts{{WM_PATCH_DONE, 0}, {WM_SERVERLIST_READY, 2}}));
    EXPECT_EQ(server.requests("/files/"), 3);
}

TEST_F(PatchRun, FaultyListsEndTheRunBeforeAnything) {
    const std::string good = "b\r\nv\r\na.pak\r\n1\r\nt\r\n";
    const Reply cases[] = {
        {200, good.substr(0, good.size() - 2)},  // no final break
        {200, ""},
        {404, good},
        {200, good, Reply::Mode::Drop},
        // A hostile path after a good one (the parser's own test has them all).
        {200, "b\r\nv\r\nok.pak\r\n1\r\nt\r\n..\\outside.pak\r\n1\r\nt\r\n"},
    };
    for (const Reply& reply : cases) {
        clear();
        server.serve(kListPath, {reply});
        const auto d = run();
        EXPECT_EQ(target.posts, (Posts{{WM_PATCH_FAILED, 2}})) << reply.body;
        EXPECT_EQ(log(), Log{"download listesi hatal\xFD !"});
        EXPECT_FALSE(d->IsFinished());
        for (const auto& entry : fs::directory_iterator(game)) EXPECT_EQ(entry, game / "base");
    }
    EXPECT_EQ(server.requests("/files/") + server.requests(kServers), 0);
}

TEST_F(PatchRun, TooMuchToDownloadTellsThePlayerAndQuits) {
    options.skipPatch = true;  // exactly 70 MiB proceeds (without fetching it)
    serve({{"a.pak", ""}, {"d/b.pak", ""}}, {}, {{"a.pak", 73400320 - 1000}, {"d/b.pak", 1000}});
    run();
    EXPECT_EQ(target.posts, (Posts{{WM_PATCH_DONE, 0}, {WM_SERVERLIST_READY, 2}}));

    clear();
    options.skipPatch = false;
    serve({{"a.pak", ""}, {"d/b.pak", ""}}, {}, {{"a.pak", 73400320 - 999}, {"d/b.pak", 1000}});
    run();
    ASSERT_EQ(target.boxes.size(), 1u);
    EXPECT_EQ(target.boxes[0].text.rfind(
                  u"G\u00FCncellenecek \u00E7ok fazla dosya var.\nhttp://www.valdora.example ", 0),
              0u);
    EXPECT_EQ(target.boxes[0].caption, u"Bilgi");
    EXPECT_EQ(target.boxes[0].type, platform::MB_OK | platform::MB_ICONINFORMATION);
    EXPECT_EQ(target.boxes[0].owner, platform::BoxOwner::Window);
    EXPECT_EQ(target.posts, Posts{{WM_PATCH_QUIT}});
    EXPECT_EQ(log(), check_log({kMissing, kMissing}, {}));
    EXPECT_TRUE(fs::is_directory("d"));  // made by the check
    EXPECT_EQ(server.requests("/files/"), 0);
}

TEST_F(PatchRun, TemporaryFileThatCannotBeCreatedEndsTheRun) {
    serve({{"a.pak", "a"}});
    fs::create_directory("~temp.dat");
    const auto d = run();
    EXPECT_EQ(target.boxes, (std::vector<Box>{{u"Could not create ~temp.dat !", u"Error",
                                               platform::MB_OK, platform::BoxOwner::None}}));
    EXPECT_EQ(target.posts, (Posts{{WM_PATCH_FAILED, 1}}));
    EXPECT_EQ(log(), check_log({kMissing}, {"1 adet dosya download edilecek...",
                                            "a.pak download ediliyor..."}));
    EXPECT_FALSE(fs::exists("a.pak"));
    EXPECT_FALSE(d->IsFinished());
    EXPECT_EQ(server.requests(kServers), 0);
}

TEST_F(PatchRun, LauncherUpdateComesAloneAndHandsOver) {
    // Listed before it: a file far beyond the limit of one run.
    serve({{"A.pak", ""}, {"_launcher.dll", "new launcher"}, {"b.pak", "b"}}, {},
          {{"A.pak", 100u << 20}});
    write_tree(game, {{"_launcher.dll", "old launcher"}}, kOldTime);
    run();
    EXPECT_EQ(target.posts, (Posts{{WM_PATCH_PROGRESS, done(10000), 1 << 16 | 1},
                                   {WM_PATCH_DONE, 1},
                                   {WM_RUN_LAUNCH_HELPER}}));
    EXPECT_EQ(log(),
              check_log({kMissing, kMissing},
                        {"1 adet dosya download edilecek...", "_launcher.dll download ediliyor...",
                         "Dosyalar download edildi.", "launcher updated."}));
    EXPECT_EQ(differences(game, {{"_launcher.dll", "new launcher"}}), Log{});
    EXPECT_FALSE(fs::exists("b.pak"));
    EXPECT_EQ(server.requests("/files/"), 1);
    EXPECT_EQ(server.requests(kServers), 0);
}

// A copy into place that fails (b.pak is a folder the download cannot
// replace) ends the downloads as a failed transfer does; the fault tests
// strike the transfer itself.
TEST_F(PatchRun, FailedCopyStopsTheDownloadsButNotTheRun) {
    serve({{"a.pak", std::string(1000, 'a')}, {"b.pak", std::string(2999, 'b')}, {"c.pak", "c"}});
    write_bytes("b.pak/keep", "kept");
    run();
    EXPECT_EQ(target.posts, (Posts{{WM_PATCH_PROGRESS, done(2500), 3 << 16 | 1},
                                   {WM_PATCH_FAILED, 1},
                                   {WM_PATCH_DONE, 1},
                                   {WM_SERVERLIST_READY, 2}}));
    const Log folder = {"Error opening file in GetLastWriteTime(): 21",
                        "Error opening file in isFileSizeDifferentWithHandle(): 17"};
    EXPECT_EQ(log(), check_log({kMissing, folder, kMissing},
                               {"3 adet dosya download edilecek...", "a.pak download ediliyor...",
                                "b.pak download ediliyor...", "Dosya yazma hatas\xFD: 21",
                                "Dosyalar download edildi."}));
    EXPECT_EQ(differences(game, {{"a.pak", std::string(1000, 'a')}}), Log{});
    EXPECT_EQ(read_bytes("b.pak/keep"), "kept");
    EXPECT_EQ(strays(game, {{"a.pak", ""}, {"b.pak/keep", ""}}), Log{});
    EXPECT_EQ(server.requests("/files/c.pak"), 0);
}

TEST_F(PatchRun, ServerListIsAskedForUntilItHasAnEntryOrReadLocally) {
    serve({});
    server.serve(
        kServers,
        {{200, ""}, {500, kServerList}, {200, "<html>no list</html>"}, {200, kServerList}});
    EXPECT_EQ(run()->GetServers().size(), 2u);
    EXPECT_EQ(target.posts, (Posts{{WM_PATCH_DONE, 0}, {WM_SERVERLIST_READY, 2}}));
    EXPECT_EQ(server.requests(kServers), 4);
    // The empty reply and the error status both arrive as no text.
    EXPECT_EQ(log(), check_log({}, {"server listesi bo\xFE !", "server listesi bo\xFE !"}));

    options.skipPatch = options.serverTest = true;
    for (const bool present : {true, false}) {
        clear();
        if (present) write_bytes("serverlist.txt", "Yerel|1|2|3|4\r\n");
        EXPECT_EQ(run()->GetServers().size(), present ? 1u : 0u);
        EXPECT_EQ(target.posts, (Posts{{WM_PATCH_DONE, 0}, {WM_SERVERLIST_READY, 0}}));
    }
    EXPECT_EQ(server.requests(kServers), 4);
}

TEST_F(PatchRun, StopReturnsPromptlyInEveryStall) {
    const std::string stalled(100000, 's');
    const std::pair<std::string, Posts> cases[] = {
        {kListPath, {{WM_PATCH_FAILED, 2}}},
        {"/files/a.pak",
         {{WM_PATCH_FAILED, 42 << 16 | 3}, {WM_PATCH_DONE, 0}, {WM_SERVERLIST_READY, 0}}},
        {kServers, {{WM_PATCH_DONE, 0}, {WM_SERVERLIST_READY, 0}}},
    };
    for (const auto& [path, posts] : cases) {
        clear();
        serve({{"a.pak", stalled}});
        if (path != "/files/a.pak") write_tree(game, {{"a.pak", stalled}});
        server.serve(path, {{200, stalled, Reply::Mode::Stall}});
        const auto d = downloader();
        const int before = server.requests(path);
        d->Start();
        EXPECT_TRUE(wait_until([&] { return server.requests(path) > before; }));
        std::this_thread::sleep_for(200ms);  // well into the stall

        const auto start = std::chrono::steady_clock::now();
        d->Stop();
        EXPECT_LT(std::chrono::steady_clock::now() - start, 2s) << path;
        EXPECT_EQ(target.posts, posts) << path;
        EXPECT_FALSE(fs::exists("~temp.dat"));
    }
}

}  // namespace
