// Whole patch runs against the in-process server: every end state with its
// posted messages, log lines and the files left in the game directory.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "patch/file_checks.h"
#include "patch/patch_downloader.h"
#include "support/files.h"
#include "support/http_server.h"
#include "support/launcher_log.h"
#include "support/recording_target.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;
using Log = std::vector<std::string>;
using Posts = std::vector<testsupport::Posted>;
using testsupport::Reply;

namespace {

constexpr const char* kList = "/Patcher/1000_1.0.0.1_Update.txt";
constexpr const char* kServers = "/serverlist_test.aspx";
constexpr const char* kTime = "05.03.2024 07:08:09";
constexpr const char* kOldTime = "01.01.2020 10:00:00";
const std::string kServerList = "V1|x|y|10.0.0.1|7000\r\nV2|x|y|10.0.0.2|7000\r\n";
// The check's lines, and those of a missing file (text mode; the second
// code is what the log call before it left).
const std::string kCheck = "Download edilmesi gereken dosyalar: ";
const std::string kCheckEnd = "--------------------------\r\n";
const Log kMissing = {"Error opening file in GetLastWriteTime(): 2",
                      "Error opening file in isFileSizeDifferentWithHandle(): 17"};

constexpr platform::WPARAM done(platform::WPARAM run) {
    return run << 16 | 10000;
}

struct GameFile {
    std::string path;  // as listed
    std::string content;
    Reply::Mode mode = Reply::Mode::Plain;
    int status = 200;
    std::uint32_t listedSize = 0;  // 0: the content's
    std::uint32_t size() const { return listedSize ? listedSize : std::uint32_t(content.size()); }
};

class PatchRun : public ::testing::Test {
protected:
    testsupport::TempDir dir;
    testsupport::HttpServer server;
    testsupport::RecordingTarget target;
    PatchOptions options;
    std::vector<GameFile> site;

    PatchRun() {
        options.gameDir = dir.path();
        options.serverListUrl = server.url(kServers);
        options.webSite = "http://www.valdora.example";
        options.clock = [] { return 0u; };  // no timed progress posts: exact sequences
        server.serve(kServers, kServerList);
    }

    // No run may leave a game file that looks current but is not.
    void TearDown() override {
        for (const GameFile& f : site) {
            const platform::File file = platform::File::open_for_attributes(f.path);
            if (file.valid() && !isFileSizeDifferentWithHandle(file, f.size()) &&
                !isFileTimeDifferent(file, kTime)) {
                EXPECT_EQ(testsupport::read_bytes(platform::native_path(f.path)), f.content);
            }
        }
    }

    void publish(std::vector<GameFile> files) {
        site = std::move(files);
        std::string list = server.url("/files") + "\r\nnote\r\n";
        for (const GameFile& f : site) {
            list += f.path + "\r\n" + std::to_string(f.size()) + "\r\n" + kTime + "\r\n";
            std::string served = f.path;
            std::replace(served.begin(), served.end(), '/', '\\');
            server.serve("/files/" + served, {{f.status, f.content, f.mode}});
        }
        server.serve(kList, list);
    }

    void local(const std::string& path, const std::string& content, const char* time = kTime) {
        testsupport::write_bytes(platform::native_path(path), content);
        ASSERT_TRUE(SetFileToPatchTime(path, time));
    }

    void clear() {
        for (const auto& entry : fs::directory_iterator(".")) fs::remove_all(entry.path());
        target.posts.clear();
        target.boxes.clear();
    }

    std::unique_ptr<PatchDownloader> run() {
        auto d = std::make_unique<PatchDownloader>(&target, server.url(kList), options);
        d->Run();
        EXPECT_TRUE(d->doneEvent.is_set());
        EXPECT_FALSE(fs::is_regular_file("~temp.dat"));
        return d;
    }

    Log log() const { return testsupport::log_messages(dir.path()); }

    static Log join(std::initializer_list<Log> parts) {
        Log all;
        for (const Log& p : parts) all.insert(all.end(), p.begin(), p.end());
        return all;
    }

    static bool is_current(const std::string& path, const std::string& content) {
        std::string time;
        return GetLastWriteTime(platform::File::open_for_attributes(path), time) && time == kTime &&
               testsupport::read_bytes(platform::native_path(path)) == content;
    }
};

TEST_F(PatchRun, ReadyDownloadsWhatDiffersOverOneConnection) {
    const std::string a(1000, 'a'), x(3000, 'x'), t(4000, 't');
    const std::string odd =
        "t\xFCrk\xE7"
        "e dosya #1%.pak";  // CP1254, and bytes a URL encodes
    publish({{"a.pak", a, Reply::Mode::Gzip},
             {"data/maps/x.map", x, Reply::Mode::Chunked},
             {"same.pak", "same"},
             {odd, t}});
    local("data\\maps\\x.map", "old");
    local("same.pak", "same");

    const auto d = run();

    // The run counts what came over the wire: a.pak compressed.
    const double wire = double(testsupport::gzip(a).size());
    const auto at = [](double bytes) { return done(platform::WPARAM(bytes / 8000 * 10000)); };
    EXPECT_EQ(target.posts, (Posts{{WM_PATCH_PROGRESS, at(wire), 3 << 16 | 1},
                                   {WM_PATCH_PROGRESS, at(wire + 3000), 3 << 16 | 2},
                                   {WM_PATCH_PROGRESS, at(wire + 7000), 3 << 16 | 3},
                                   {WM_PATCH_DONE, 3},
                                   {WM_SERVERLIST_READY, 2}}));
    EXPECT_EQ(log(), join({{kCheck},
                           kMissing,
                           kMissing,
                           {kCheckEnd, "3 adet dosya download edilecek...",
                            "a.pak download ediliyor...", "data\\maps\\x.map download ediliyor...",
                            odd + " download ediliyor...", "Dosyalar download edildi."}}));
    EXPECT_TRUE(is_current("a.pak", a));
    EXPECT_TRUE(is_current("data\\maps\\x.map", x));
    EXPECT_TRUE(is_current(odd, t));
    EXPECT_TRUE(fs::exists("t\u00FCrk\u00E7e dosya #1%.pak"));  // UTF-8 on disk
    EXPECT_EQ(server.requests("/files/"), 3);
    EXPECT_EQ(server.connections("/files/"), 1);
    EXPECT_TRUE(d->IsFinished());
    ASSERT_EQ(d->GetServers().size(), 2u);
    EXPECT_EQ(d->GetServers()[1].gameArg1, "10.0.0.2");

    target.posts.clear();
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
        {200, "b\r\nv\r\n..\\outside.pak\r\n1\r\nt\r\n"},
        {200, "b\r\nv\r\n/tmp/outside.pak\r\n1\r\nt\r\n"},
        {200, "b\r\nv\r\nC:outside.pak\r\n1\r\nt\r\n"},
        {200, "b\r\nv\r\nok.pak\r\n1\r\nt\r\na/../../x\r\n1\r\nt\r\n"},
    };
    for (const Reply& reply : cases) {
        clear();
        server.serve(kList, {reply});
        const auto d = run();
        EXPECT_EQ(target.posts, (Posts{{WM_PATCH_FAILED, 2}})) << reply.body;
        EXPECT_EQ(log(), Log{"download listesi hatal\xFD !"});
        EXPECT_FALSE(d->IsFinished());
        for (const auto& entry : fs::directory_iterator(".")) EXPECT_EQ(entry.path(), "./base");
    }
    EXPECT_EQ(server.requests("/files/") + server.requests(kServers), 0);
}

TEST_F(PatchRun, TooMuchToDownloadTellsThePlayerAndQuits) {
    publish({{"a.pak", "", {}, 200, 73400320 - 1000}, {"d/b.pak", "", {}, 200, 1000}});
    options.skipPatch = true;  // exactly 70 MiB proceeds (without fetching it)
    run();
    EXPECT_EQ(target.posts, (Posts{{WM_PATCH_DONE, 0}, {WM_SERVERLIST_READY, 2}}));

    clear();
    options.skipPatch = false;
    publish({{"a.pak", "", {}, 200, 73400320 - 999}, {"d/b.pak", "", {}, 200, 1000}});
    run();
    ASSERT_EQ(target.boxes.size(), 1u);
    EXPECT_EQ(target.boxes[0].text.rfind(
                  u"G\u00FCncellenecek \u00E7ok fazla dosya var.\nhttp://www.valdora.example ", 0),
              0u);
    EXPECT_EQ(target.boxes[0].caption, u"Bilgi");
    EXPECT_EQ(target.boxes[0].type, platform::MB_OK | platform::MB_ICONINFORMATION);
    EXPECT_EQ(target.boxes[0].owner, platform::BoxOwner::Window);
    EXPECT_EQ(target.posts, Posts{{WM_PATCH_QUIT}});
    EXPECT_EQ(log(), join({{kCheck}, kMissing, kMissing, {kCheckEnd}}));
    EXPECT_TRUE(fs::is_directory("d"));  // made by the check
    EXPECT_EQ(server.requests("/files/"), 0);
}

TEST_F(PatchRun, TemporaryFileThatCannotBeCreatedEndsTheRun) {
    publish({{"a.pak", "a"}});
    fs::create_directory("~temp.dat");
    const auto d = run();
    EXPECT_EQ(target.boxes,
              (std::vector<testsupport::Box>{{u"Could not create ~temp.dat !", u"Error",
                                              platform::MB_OK, platform::BoxOwner::None}}));
    EXPECT_EQ(target.posts, (Posts{{WM_PATCH_FAILED, 1}}));
    EXPECT_EQ(
        log(),
        join({{kCheck},
              kMissing,
              {kCheckEnd, "1 adet dosya download edilecek...", "a.pak download ediliyor..."}}));
    EXPECT_FALSE(fs::exists("a.pak"));
    EXPECT_FALSE(d->IsFinished());
    EXPECT_EQ(server.requests(kServers), 0);
}

TEST_F(PatchRun, LauncherUpdateComesAloneAndHandsOver) {
    publish(
        {{"a.pak", "", {}, 200, 100u << 20}, {"_launcher.dll", "new launcher"}, {"b.pak", "b"}});
    local("_launcher.dll", "old launcher", kOldTime);
    run();
    EXPECT_EQ(target.posts, (Posts{{WM_PATCH_PROGRESS, done(10000), 1 << 16 | 1},
                                   {WM_PATCH_DONE, 1},
                                   {WM_RUN_LAUNCH_HELPER}}));
    EXPECT_EQ(log(), join({{kCheck},
                           kMissing,
                           kMissing,
                           {kCheckEnd, "1 adet dosya download edilecek...",
                            "_launcher.dll download ediliyor...", "Dosyalar download edildi.",
                            "launcher updated."}}));
    EXPECT_TRUE(is_current("_launcher.dll", "new launcher"));
    EXPECT_FALSE(fs::exists("b.pak"));
    EXPECT_EQ(server.requests("/files/"), 1);
    EXPECT_EQ(server.requests(kServers), 0);
}

TEST_F(PatchRun, FailedTransferOrCopyStopsTheDownloadsButNotTheRun) {
    const struct {
        int status;
        Reply::Mode mode;
        bool folder;  // b.pak is a folder, which the download cannot replace
        platform::WPARAM failure;
        std::string line;
    } cases[] = {
        {404, Reply::Mode::Plain, false, 22 << 16 | 3, "http hatas\xFD: 22"},
        {500, Reply::Mode::Plain, false, 22 << 16 | 3, "http hatas\xFD: 22"},
        {200, Reply::Mode::Drop, false, 18 << 16 | 3, "http hatas\xFD: 18"},
        {200, Reply::Mode::Plain, true, 1, "Dosya yazma hatas\xFD: 21"},
    };
    for (const auto& c : cases) {
        clear();
        publish({{"a.pak", std::string(1000, 'a')},
                 {"b.pak", std::string(2999, 'b'), c.mode, c.status},
                 {"c.pak", "c"}});
        if (c.folder) {
            testsupport::write_bytes("b.pak/keep", "kept");
        } else {
            local("b.pak", "old b", kOldTime);
        }
        const int before = server.requests("/files/c.pak");
        run();
        EXPECT_EQ(target.posts, (Posts{{WM_PATCH_PROGRESS, done(2500), 3 << 16 | 1},
                                       {WM_PATCH_FAILED, c.failure},
                                       {WM_PATCH_DONE, 1},
                                       {WM_SERVERLIST_READY, 2}}))
            << c.line;
        const Log folder = {"Error opening file in GetLastWriteTime(): 21",
                            "Error opening file in isFileSizeDifferentWithHandle(): 17"};
        EXPECT_EQ(log(), join({{kCheck},
                               kMissing,
                               c.folder ? folder : Log{},
                               kMissing,
                               {kCheckEnd, "3 adet dosya download edilecek...",
                                "a.pak download ediliyor...", "b.pak download ediliyor...", c.line,
                                "Dosyalar download edildi."}}));
        EXPECT_TRUE(is_current("a.pak", std::string(1000, 'a')));
        // The old file stays as it was, time included; the error page never lands.
        if (c.folder) {
            EXPECT_EQ(testsupport::read_bytes("b.pak/keep"), "kept");
        } else {
            std::string time;
            GetLastWriteTime(platform::File::open_for_attributes("b.pak"), time);
            EXPECT_EQ(testsupport::read_bytes("b.pak") + " " + time,
                      std::string("old b ") + kOldTime);
        }
        EXPECT_FALSE(fs::exists("c.pak"));
        EXPECT_EQ(server.requests("/files/c.pak"), before);
    }
}

TEST_F(PatchRun, ServerListIsAskedForUntilItHasAnEntryOrReadLocally) {
    publish({});
    server.serve(
        kServers,
        {{200, ""}, {500, kServerList}, {200, "<html>no list</html>"}, {200, kServerList}});
    EXPECT_EQ(run()->GetServers().size(), 2u);
    EXPECT_EQ(target.posts, (Posts{{WM_PATCH_DONE, 0}, {WM_SERVERLIST_READY, 2}}));
    EXPECT_EQ(server.requests(kServers), 4);
    // The empty reply and the error status both arrive as no text.
    EXPECT_EQ(log(),
              (Log{kCheck, kCheckEnd, "server listesi bo\xFE !", "server listesi bo\xFE !"}));

    options.skipPatch = options.serverTest = true;
    for (const bool present : {true, false}) {
        clear();
        if (present) testsupport::write_bytes("serverlist.txt", "Yerel|1|2|3|4\r\n");
        EXPECT_EQ(run()->GetServers().size(), present ? 1u : 0u);
        EXPECT_EQ(target.posts, (Posts{{WM_PATCH_DONE, 0}, {WM_SERVERLIST_READY, 0}}));
    }
    EXPECT_EQ(server.requests(kServers), 4);
}

TEST_F(PatchRun, StopReturnsPromptlyInEveryStall) {
    const std::string stalled(100000, 's');
    const std::pair<const char*, Posts> cases[] = {
        {kList, {{WM_PATCH_FAILED, 2}}},
        {"/files/a.pak",
         {{WM_PATCH_FAILED, 42 << 16 | 3}, {WM_PATCH_DONE, 0}, {WM_SERVERLIST_READY, 0}}},
        {kServers, {{WM_PATCH_DONE, 0}, {WM_SERVERLIST_READY, 0}}},
    };
    for (const auto& [path, posts] : cases) {
        clear();
        publish({{"a.pak", stalled}});
        if (path != std::string("/files/a.pak")) local("a.pak", stalled);
        server.serve(path, {{200, stalled, Reply::Mode::Stall}});
        PatchDownloader d(&target, server.url(kList), options);
        const int before = server.requests(path);
        boost::thread worker = StartPatchThread(d);
        while (server.requests(path) == before) std::this_thread::yield();
        std::this_thread::sleep_for(std::chrono::milliseconds(200));  // well into the stall

        const auto start = std::chrono::steady_clock::now();
        d.Stop();
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2)) << path;
        worker.join();
        EXPECT_EQ(target.posts, posts) << path;
        EXPECT_FALSE(fs::exists("~temp.dat"));
    }
}

}  // namespace
