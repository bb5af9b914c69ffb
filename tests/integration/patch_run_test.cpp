// Whole patch runs against the in-process server: every end state with its
// posted messages, log lines and the files left in the game directory.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "patch/file_checks.h"
#include "patch/patch_downloader.h"
#include "platform/file.h"
#include "support/files.h"
#include "support/http_server.h"
#include "support/launcher_log.h"
#include "support/recording_target.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;
using testsupport::Posted;
using testsupport::Reply;

namespace {

constexpr const char* kListPath = "/Patcher/1000_1.0.0.1_Update.txt";
constexpr const char* kServersPath = "/serverlist_test.aspx";
constexpr const char* kTime = "05.03.2024 07:08:09";
constexpr const char* kOldTime = "01.01.2020 10:00:00";
const std::string kServers = "Valdora 1|x|y|10.0.0.1|7000\r\nValdora 2|x|y|10.0.0.2|7000\r\n";
// The check's two lines as the log writes them (text mode).
const std::string kCheckStart = "Download edilmesi gereken dosyalar: ";
const std::string kCheckEnd = "--------------------------\r\n";

Posted post(platform::UINT message, platform::WPARAM w = 0, platform::LPARAM l = 0) {
    return {message, w, l};
}

struct GameFile {
    std::string path;  // as listed
    std::string content;
    Reply::Mode mode = Reply::Mode::Plain;
    int status = 200;
    std::uint32_t listedSize = 0;  // 0: the content's size
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
        options.serverListUrl = server.url(kServersPath);
        options.webSite = "http://www.valdora.example";
        options.clock = [] { return 0u; };  // no timed progress posts: exact sequences
        server.serve(kServersPath, kServers);
    }

    // No test may leave a game file that looks current but is not.
    void TearDown() override {
        for (const GameFile& f : site) {
            const platform::File file = platform::File::open_for_attributes(f.path);
            if (!file.valid() || isFileSizeDifferentWithHandle(file, size(f)) ||
                isFileTimeDifferent(file, kTime)) {
                continue;
            }
            EXPECT_EQ(testsupport::read_bytes(platform::native_path(f.path)), f.content) << f.path;
        }
    }

    static std::uint32_t size(const GameFile& f) {
        return f.listedSize != 0 ? f.listedSize : static_cast<std::uint32_t>(f.content.size());
    }

    void publish(std::vector<GameFile> files) {
        site = std::move(files);
        std::string list = server.url("/files") + "\r\nnote\r\n";
        for (const GameFile& f : site) {
            list += f.path + "\r\n" + std::to_string(size(f)) + "\r\n" + kTime + "\r\n";
            std::string served = f.path;
            std::replace(served.begin(), served.end(), '/', '\\');
            server.serve("/files/" + served, {Reply{f.status, f.content, f.mode}});
        }
        server.serve(kListPath, list);
    }

    // A local file with the given content and time text.
    void local(const std::string& path, const std::string& content, const char* time = kTime) {
        testsupport::write_bytes(platform::native_path(path), content);
        ASSERT_TRUE(SetFileToPatchTime(path, time));
    }

    std::unique_ptr<PatchDownloader> run() {
        auto downloader =
            std::make_unique<PatchDownloader>(&target, server.url(kListPath), options);
        downloader->Run();
        return downloader;
    }

    std::vector<std::string> log() const { return testsupport::log_messages(dir.path()); }

    // Log lines without the check's own error lines about missing files.
    std::vector<std::string> run_log() const {
        std::vector<std::string> lines;
        for (const std::string& line : log()) {
            if (line.rfind("Error opening file in ", 0) != 0) lines.push_back(line);
        }
        return lines;
    }

    bool is_current(const std::string& path, const std::string& content) const {
        const platform::File file = platform::File::open_for_attributes(path);
        std::string time;
        return file.valid() && GetLastWriteTime(file, time) && time == kTime &&
               testsupport::read_bytes(platform::native_path(path)) == content;
    }
};

TEST_F(PatchRun, ReadyDownloadsWhatDiffersOverOneConnection) {
    const std::string a(1000, 'a'), x(3000, 'x'), t(4000, 't');
    publish({{"a.pak", a, Reply::Mode::Gzip},
             {"data/maps/x.map", x, Reply::Mode::Chunked},
             {"same.pak", "same"},
             {"t\xFCrk\xE7"
              "e dosya #1%.pak",
              t}});
    local("data\\maps\\x.map", "old");
    local("same.pak", "same");

    const auto downloader = run();

    // The run counts the bytes that came over the wire: a.pak's compressed.
    const double wire = static_cast<double>(testsupport::gzip(a).size());
    const auto at = [](double done) {
        return static_cast<platform::WPARAM>(done / 8000 * 10000) << 16 | 10000;
    };
    EXPECT_EQ(target.posts(), (std::vector<Posted>{
                                  post(WM_PATCH_PROGRESS, at(wire), 3 << 16 | 1),
                                  post(WM_PATCH_PROGRESS, at(wire + 3000), 3 << 16 | 2),
                                  post(WM_PATCH_PROGRESS, at(wire + 7000), 3 << 16 | 3),
                                  post(WM_PATCH_DONE, 3),
                                  post(WM_SERVERLIST_READY, 2),
                              }));
    EXPECT_EQ(run_log(), (std::vector<std::string>{
                             kCheckStart, kCheckEnd, "3 adet dosya download edilecek...",
                             "a.pak download ediliyor...", "data\\maps\\x.map download ediliyor...",
                             "t\xFCrk\xE7"
                             "e dosya #1%.pak download ediliyor...",
                             "Dosyalar download edildi."}));
    EXPECT_TRUE(is_current("a.pak", a));
    EXPECT_TRUE(is_current("data\\maps\\x.map", x));
    EXPECT_TRUE(
        is_current("t\xFCrk\xE7"
                   "e dosya #1%.pak",
                   t));
    EXPECT_TRUE(fs::exists("t\u00FCrk\u00E7e dosya #1%.pak"));  // UTF-8 on disk
    EXPECT_FALSE(fs::exists("~temp.dat"));
    EXPECT_EQ(server.requests_under("/files/"), 3);
    EXPECT_EQ(server.connections_under("/files/"), 1);
    EXPECT_TRUE(downloader->IsFinished());
    ASSERT_EQ(downloader->GetServers().size(), 2u);
    EXPECT_EQ(downloader->GetServers()[1].gameArg1, "10.0.0.2");
    EXPECT_TRUE(downloader->doneEvent.is_set());

    // Everything current now: the next run downloads nothing.
    target.clear();
    run();
    EXPECT_EQ(target.posts(),
              (std::vector<Posted>{post(WM_PATCH_DONE, 0), post(WM_SERVERLIST_READY, 2)}));
    EXPECT_EQ(server.requests_under("/files/"), 3);
}

TEST_F(PatchRun, FaultyListsEndTheRunBeforeAnything) {
    const std::string good = server.url("/files") + "\r\nnote\r\na.pak\r\n1\r\n" + kTime + "\r\n";
    const struct {
        const char* name;
        Reply reply;
    } cases[] = {
        {"no final break", Reply{200, good.substr(0, good.size() - 2)}},
        {"empty", Reply{200, ""}},
        {"404 with a list-shaped page", Reply{404, good}},
        {"500", Reply{500, good}},
        {"dropped", Reply{200, good, Reply::Mode::DropMidBody}},
        {"parent", Reply{200, "b\r\nv\r\n..\\outside.pak\r\n1\r\nt\r\n"}},
        {"absolute", Reply{200, "b\r\nv\r\n/tmp/outside.pak\r\n1\r\nt\r\n"}},
        {"backslash first", Reply{200, "b\r\nv\r\n\\outside.pak\r\n1\r\nt\r\n"}},
        {"drive", Reply{200, "b\r\nv\r\nC:outside.pak\r\n1\r\nt\r\n"}},
        {"deep parent", Reply{200, "b\r\nv\r\nok.pak\r\n1\r\nt\r\na/../../x\r\n1\r\nt\r\n"}},
    };
    server.serve("/files/a.pak", "a");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        target.clear();
        fs::remove_all("base");
        server.serve(kListPath, {c.reply});
        const auto downloader = run();
        EXPECT_EQ(target.posts(), std::vector<Posted>{post(WM_PATCH_FAILED, 2)});
        EXPECT_EQ(log(), std::vector<std::string>{"download listesi hatal\xFD !"});
        EXPECT_FALSE(downloader->IsFinished());
        EXPECT_TRUE(downloader->doneEvent.is_set());
    }
    EXPECT_EQ(server.requests_under("/files/"), 0);
    EXPECT_EQ(server.requests(kServersPath), 0);
    for (const auto& entry : fs::directory_iterator(".")) EXPECT_EQ(entry.path(), "./base");
}

TEST_F(PatchRun, TooMuchToDownloadTellsThePlayerAndQuits) {
    for (const std::uint32_t total : {73400320u, 73400321u}) {
        SCOPED_TRACE(total);
        target.clear();
        fs::remove_all("base");
        options.skipPatch = total == 73400320u;  // what proceeds need not really come
        publish(
            {{"a.pak", "", Reply::Mode::Plain, 200, total - 1000}, {"d/b.pak", "", {}, 200, 1000}});
        run();
        if (total == 73400320u) {
            EXPECT_TRUE(target.boxes().empty());
            EXPECT_EQ(target.posts(),
                      (std::vector<Posted>{post(WM_PATCH_DONE, 0), post(WM_SERVERLIST_READY, 2)}));
            continue;
        }
        ASSERT_EQ(target.boxes().size(), 1u);
        const testsupport::Box box = target.boxes()[0];
        EXPECT_EQ(box.caption, u"Bilgi");
        EXPECT_EQ(
            box.text.rfind(
                u"G\u00FCncellenecek \u00E7ok fazla dosya var.\nhttp://www.valdora.example ", 0),
            0u);
        EXPECT_EQ(box.type, platform::MB_OK | platform::MB_ICONINFORMATION);
        EXPECT_EQ(box.owner, platform::BoxOwner::Window);
        EXPECT_EQ(target.posts(), std::vector<Posted>{post(WM_PATCH_QUIT)});
        EXPECT_EQ(run_log(), (std::vector<std::string>{kCheckStart, kCheckEnd}));
        EXPECT_TRUE(fs::is_directory("d"));  // made by the check
        EXPECT_FALSE(fs::exists("a.pak"));
    }
    EXPECT_EQ(server.requests_under("/files/"), 0);
}

TEST_F(PatchRun, TemporaryFileThatCannotBeCreatedEndsTheRun) {
    publish({{"a.pak", "a"}});
    fs::create_directory("~temp.dat");
    const auto downloader = run();
    ASSERT_EQ(target.boxes().size(), 1u);
    EXPECT_EQ(target.boxes()[0].text, u"Could not create ~temp.dat !");
    EXPECT_EQ(target.boxes()[0].caption, u"Error");
    EXPECT_EQ(target.boxes()[0].type, platform::MB_OK);
    EXPECT_EQ(target.boxes()[0].owner, platform::BoxOwner::None);
    EXPECT_EQ(target.posts(), std::vector<Posted>{post(WM_PATCH_FAILED, 1)});
    EXPECT_EQ(run_log(),
              (std::vector<std::string>{kCheckStart, kCheckEnd, "1 adet dosya download edilecek...",
                                        "a.pak download ediliyor..."}));
    EXPECT_FALSE(fs::exists("a.pak"));
    EXPECT_FALSE(downloader->IsFinished());
    EXPECT_EQ(server.requests(kServersPath), 0);
}

TEST_F(PatchRun, LauncherUpdateComesAloneAndHandsOver) {
    const std::string dll = "new launcher";
    publish({{"a.pak", "", {}, 200, 100u << 20}, {"_launcher.dll", dll}, {"b.pak", "b"}});
    local("_launcher.dll", "old launcher", kOldTime);
    run();
    EXPECT_EQ(target.posts(), (std::vector<Posted>{
                                  post(WM_PATCH_PROGRESS, 10000u << 16 | 10000, 1 << 16 | 1),
                                  post(WM_PATCH_DONE, 1),
                                  post(WM_RUN_LAUNCH_HELPER),
                              }));
    EXPECT_EQ(run_log(),
              (std::vector<std::string>{kCheckStart, kCheckEnd, "1 adet dosya download edilecek...",
                                        "_launcher.dll download ediliyor...",
                                        "Dosyalar download edildi.", "launcher updated."}));
    EXPECT_TRUE(is_current("_launcher.dll", dll));
    EXPECT_FALSE(fs::exists("b.pak"));
    EXPECT_FALSE(fs::exists("~temp.dat"));
    EXPECT_EQ(server.requests_under("/files/"), 1);
    EXPECT_EQ(server.requests(kServersPath), 0);

    // In test-launcher mode its lines are not even compared; in skip-patch
    // mode nothing is downloaded and nothing handed over.
    publish({{"_launcher.dll", "newer"}, {"b.pak", "b"}});
    const struct {
        bool testLauncher, skipPatch;
        std::vector<Posted> posts;
    } modes[] = {
        {true,
         false,
         {post(WM_PATCH_PROGRESS, 10000u << 16 | 10000, 1 << 16 | 1), post(WM_PATCH_DONE, 1),
          post(WM_SERVERLIST_READY, 2)}},
        {false, true, {post(WM_PATCH_DONE, 0), post(WM_SERVERLIST_READY, 2)}},
    };
    for (const auto& m : modes) {
        target.clear();
        fs::remove("b.pak");
        options.testLauncher = m.testLauncher;
        options.skipPatch = m.skipPatch;
        run();
        EXPECT_EQ(target.posts(), m.posts);
        EXPECT_TRUE(is_current("_launcher.dll", dll));
        EXPECT_EQ(fs::exists("b.pak"), m.testLauncher);
    }
}

TEST_F(PatchRun, FailedTransferStopsTheDownloadsButNotTheRun) {
    const struct {
        const char* name;
        int status;
        Reply::Mode mode;
        platform::WPARAM code;
    } cases[] = {
        {"404", 404, Reply::Mode::Plain, 22},
        {"500", 500, Reply::Mode::Plain, 22},
        {"dropped", 200, Reply::Mode::DropMidBody, 18},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        target.clear();
        for (const auto& entry : fs::directory_iterator(".")) fs::remove_all(entry.path());
        publish({{"a.pak", std::string(1000, 'a')},
                 {"b.pak", std::string(2999, 'b'), c.mode, c.status},
                 {"c.pak", "c"}});
        local("b.pak", "old b", kOldTime);
        const int before = server.requests("/files/c.pak");
        run();
        EXPECT_EQ(target.posts(), (std::vector<Posted>{
                                      post(WM_PATCH_PROGRESS, 2500 << 16 | 10000, 3 << 16 | 1),
                                      post(WM_PATCH_FAILED, c.code << 16 | 3),
                                      post(WM_PATCH_DONE, 1),
                                      post(WM_SERVERLIST_READY, 2),
                                  }));
        EXPECT_EQ(run_log(),
                  (std::vector<std::string>{
                      kCheckStart, kCheckEnd, "3 adet dosya download edilecek...",
                      "a.pak download ediliyor...", "b.pak download ediliyor...",
                      "http hatas\xFD: " + std::to_string(c.code), "Dosyalar download edildi."}));
        EXPECT_TRUE(is_current("a.pak", std::string(1000, 'a')));
        EXPECT_EQ(testsupport::read_bytes("b.pak"), "old b");
        EXPECT_FALSE(fs::exists("c.pak"));
        EXPECT_FALSE(fs::exists("~temp.dat"));
        EXPECT_EQ(server.requests("/files/c.pak"), before);
    }
}

TEST_F(PatchRun, FailedCopyKeepsTheOldFileAndItsTime) {
    publish({{"a.pak", "new a"}, {"b.pak", "new b"}, {"c.pak", ""}});
    local("b.pak", "old b", kOldTime);
    fs::create_directory("b.pak.~cp");  // where the copy would write
    run();
    EXPECT_EQ(target.posts(), (std::vector<Posted>{
                                  post(WM_PATCH_PROGRESS, 5000 << 16 | 10000, 3 << 16 | 1),
                                  post(WM_PATCH_FAILED, 1),
                                  post(WM_PATCH_DONE, 1),
                                  post(WM_SERVERLIST_READY, 2),
                              }));
    EXPECT_EQ(run_log(),
              (std::vector<std::string>{kCheckStart, kCheckEnd, "3 adet dosya download edilecek...",
                                        "a.pak download ediliyor...", "b.pak download ediliyor...",
                                        "Dosya yazma hatas\xFD: 21", "Dosyalar download edildi."}));
    EXPECT_EQ(testsupport::read_bytes("b.pak"), "old b");
    std::string time;
    GetLastWriteTime(platform::File::open_for_attributes("b.pak"), time);
    EXPECT_EQ(time, kOldTime);
    EXPECT_FALSE(fs::exists("c.pak"));
    EXPECT_FALSE(fs::exists("~temp.dat"));
}

TEST_F(PatchRun, ServerListIsAskedForUntilItHasAnEntry) {
    publish({});
    server.serve(kServersPath, {Reply{200, ""}, Reply{500, "<html>error</html>"},
                                Reply{200, "<html>not a list</html>"}, Reply{200, kServers}});
    const auto downloader = run();
    EXPECT_EQ(target.posts(),
              (std::vector<Posted>{post(WM_PATCH_DONE, 0), post(WM_SERVERLIST_READY, 2)}));
    EXPECT_EQ(server.requests(kServersPath), 4);
    // The empty reply and the error status both arrive as no text.
    EXPECT_EQ(run_log(),
              (std::vector<std::string>{kCheckStart, kCheckEnd, "server listesi bo\xFE !",
                                        "server listesi bo\xFE !"}));
    EXPECT_EQ(downloader->GetServers().size(), 2u);
}

TEST_F(PatchRun, ServerTestModeReadsTheLocalFile) {
    publish({{"a.pak", "a"}});
    options.skipPatch = options.serverTest = true;
    for (const bool present : {true, false}) {
        target.clear();
        if (present) testsupport::write_bytes("serverlist.txt", "Test|1|2|3|4\r\n");
        if (!present) fs::remove("serverlist.txt");
        const auto downloader = run();
        EXPECT_EQ(target.posts(),
                  (std::vector<Posted>{post(WM_PATCH_DONE, 0), post(WM_SERVERLIST_READY, 0)}));
        EXPECT_EQ(downloader->GetServers().size(), present ? 1u : 0u);
    }
    EXPECT_EQ(server.requests(kServersPath), 0);
    EXPECT_EQ(server.requests_under("/files/"), 0);
    EXPECT_FALSE(fs::exists("a.pak"));
}

TEST_F(PatchRun, StopReturnsPromptlyInEveryStall) {
    const std::string stalled(100000, 's');
    const struct {
        const char* name;
        const char* stalledPath;
        std::vector<Posted> posts;
    } cases[] = {
        {"update list", kListPath, {post(WM_PATCH_FAILED, 2)}},
        {"file",
         "/files/a.pak",
         {post(WM_PATCH_FAILED, 42 << 16 | 3), post(WM_PATCH_DONE, 0),
          post(WM_SERVERLIST_READY, 0)}},
        {"server list", kServersPath, {post(WM_PATCH_DONE, 0), post(WM_SERVERLIST_READY, 0)}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        target.clear();
        fs::remove("a.pak");
        publish({{"a.pak", stalled}});
        if (c.stalledPath != std::string("/files/a.pak")) local("a.pak", stalled);
        server.serve(c.stalledPath, {Reply{200, stalled, Reply::Mode::Stall}});
        server.serve(kServersPath == std::string(c.stalledPath) ? "/unused" : kServersPath,
                     kServers);
        PatchDownloader downloader(&target, server.url(kListPath), options);
        const int before = server.requests(c.stalledPath);
        boost::thread worker = StartPatchThread(downloader);
        while (server.requests(c.stalledPath) == before) std::this_thread::yield();
        std::this_thread::sleep_for(std::chrono::milliseconds(200));  // well into the stall

        const auto start = std::chrono::steady_clock::now();
        downloader.Stop();
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
        worker.join();
        EXPECT_EQ(target.posts(), c.posts);
        EXPECT_FALSE(fs::exists("~temp.dat"));
    }
}

}  // namespace
