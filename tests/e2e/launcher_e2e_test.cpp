// launcher.exe as a player meets it, in its own process and game directory
// on an X display of the test's own (Xvfb): the compiled-in host served by
// nginx from a site made by valdora-publish, and xdotool as the player.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>

#include <cstdlib>
#include <string>

#include "endpoints/endpoints.h"
#include "platform/process.h"
#include "support/site.h"
#include "support/temp_dir.h"
#include "support/xvfb.h"

namespace {

using namespace testsupport;
namespace fs = std::filesystem;
constexpr const char* kServers = "/serverlist_test.aspx";

const auto* const kDisplay = ::testing::AddGlobalTestEnvironment(new XvfbDisplay);

class LauncherE2E : public ::testing::Test {
protected:
    TempDir dir;
    const fs::path build = dir.path() / "build", site = dir.path() / "site";
    const std::string host = valdora::kPatchHost;  // "http://127.0.0.1:PORT"
    Nginx nginx{site, dir.path() / "nginx", std::stoi(host.substr(host.rfind(':') + 1))};
    fs::path game;

    void SetUp() override {
        ASSERT_EQ(host, valdora::kWebHost);
        game = install("game");
        fs::create_directories(site);
        std::string error;
        ASSERT_TRUE(nginx.start(error)) << error;
    }

    // A game directory with the launcher as `launcher`, the stand-in game and
    // launch_helper.exe.
    fs::path install(const std::string& name, const std::string& launcher = "launcher.exe") {
        const fs::path d = dir.path() / name;
        fs::create_directories(d);
        fs::copy_file(LAUNCHER_EXE, d / launcher);
        fs::copy_file(GAME_STAND_IN, d / "valdora.exe");
        fs::copy_file(LAUNCH_HELPER, d / "launch_helper.exe");
        return d;
    }

    // Publishes a game build of exactly `files` (and the pages).
    void publish(const Files& files, const std::vector<std::string>& extra = {}) {
        fs::remove_all(build);
        write_tree(build, files);
        ASSERT_EQ(testsupport::publish(build, site, nginx.url("/game"), extra), "");
    }

    // The launcher in `d`; the game it starts ends at once. The running-
    // launcher marker is these launchers' own, so that a launcher elsewhere
    // on the machine cannot make them refuse.
    Child start(const fs::path& d, const std::string& launcher = "launcher.exe") {
        serversBefore_ = nginx.count(kServers);
        return Child({"./" + launcher}, d,
                     {{"VALDORA_GAME_EXIT", "1"}, {"XDG_RUNTIME_DIR", dir.path()}},
                     dir.path() / "launcher.out");
    }
    std::string output() const { return read_bytes(dir.path() / "launcher.out"); }
    std::size_t serversBefore_ = 0;

    // Double-clicks the first server until the launcher ends, as a player
    // would once the servers are listed (a double-click on the empty list
    // would only bring the selection warning). The launcher starts the game
    // and ends; its exit status.
    std::optional<int> play(const std::function<std::optional<int>()>& ended) {
        if (!wait_until([&] { return nginx.count(kServers) > serversBefore_; }, 60s)) return {};
        std::this_thread::sleep_for(1s);  // the list is filled from the posted message
        const auto window = find_window("^Valdora Oyunu");
        for (int i = 0; window && i < 120; ++i) {
            // The first line of the server list box (template position 27, 215).
            xdotool({"mousemove", "--window", *window, "70", "357", "click", "--repeat", "2",
                     "--delay", "60", "1"});
            if (const auto status = ended()) return status;
        }
        return std::nullopt;
    }
    std::optional<int> play(Child& launcher) {
        return play([&] { return launcher.wait_for(500ms); });
    }

    // Every published file is in the game directory, byte for byte, with the
    // list's time, and the game was started.
    void expect_site_state(const Files& files) {
        EXPECT_EQ(differences(game, files), std::vector<std::string>{});
        EXPECT_FALSE(fs::exists(game / "~temp.dat"));
        EXPECT_TRUE(fs::exists(game / "valdora_args.txt")) << "the game was not started";
    }
};

TEST_F(LauncherE2E, FirstRunFillsAnEmptyGameDirectoryAndASecondRunDownloadsNothing) {
    std::string deep;
    for (int i = 0; i < 64; ++i) deep += "d/";  // as deep as the publisher allows
    const Files files = {
        {"base/valdora.pak", pattern(3 << 20, 1)},
        {"maps/Kara Orman.map", pattern(200000, 2)},
        {"ses/m\u00FCzik/a\u00E7\u0131l\u0131\u015F temas\u0131.ogg", "ogg"},
        {"\u00C7\u0130\u011E\u00D6\u015E\u00DC.txt", std::string(4000, 't')},
        {"data/100% #1?.pak", "percent, hash, question mark"},
        {"data/a+b;c=d,e'f(g)&[h]!~\"<>{|}^`.dat", "punctuation"},
        {"data/empty.dat", ""},
        {"docs/page.aspx", "not a web page here"},
        {".hidden/config", "dot folder"},
        {deep + "bottom.bin", "deep"},
    };
    ASSERT_NO_FATAL_FAILURE(publish(files));

    // Once the servers are listed: a click on the first one, then on the
    // start button. The launcher ends within a second of the game's signal.
    Child first = start(game);
    ASSERT_TRUE(wait_until([&] { return nginx.count(kServers) > 0; }, 60s)) << output();
    const auto window = find_window("^Valdora Oyunu");
    ASSERT_TRUE(window.has_value());
    std::this_thread::sleep_for(1s);  // the list is filled from the posted message
    xdotool({"mousemove", "--window", *window, "60", "358", "click", "1"});
    xdotool({"mousemove", "--window", *window, "107", "505", "click", "1"});
    ASSERT_TRUE(wait_until([&] { return fs::exists(game / "valdora_args.txt"); })) << output();
    const auto signalled = fs::last_write_time(game / "valdora_args.txt");
    EXPECT_EQ(first.wait_for(5s), 0) << output();
    EXPECT_LT(fs::file_time_type::clock::now() - signalled, 1s);
    EXPECT_EQ(read_bytes(game / "valdora_args.txt"), "127.0.0.1\n7001\n2\n");
    expect_site_state(files);  // so each file was fetched, and each once:
    EXPECT_EQ(nginx.count("/game/"), files.size());

    Child second = start(game);
    EXPECT_EQ(play(second), 0) << output();
    EXPECT_EQ(nginx.count("/game/"), files.size());
    EXPECT_EQ(nginx.count(kListPath), 2u);
}

// The site publishes a new launcher together with other changes: the old
// launcher fetches only "_launcher.dll" and hands over; launch_helper puts it
// in place and starts it; the new launcher fetches the rest.
TEST_F(LauncherE2E, SelfUpdateFetchesTheLauncherAloneThenTheNewLauncherTheRest) {
    write_tree(game, {{"base/valdora.pak", pattern(1 << 20, 1)}, {"maps/harita.map", "v1"}});
    const std::string newLauncher = read_bytes(LAUNCHER_EXE) + "\nbuild 2\n";
    write_tree(dir.path(), {{"new-launcher", newLauncher}});
    Files v2 = {{"base/valdora.pak", pattern(1 << 20, 1)},
                {"maps/harita.map", "v2 of the map"},
                {"maps/yeni \u015Fehir.map", pattern(500000, 2)}};
    ASSERT_NO_FATAL_FAILURE(publish(v2, {"--launcher", dir.path() / "new-launcher"}));
    ::prctl(PR_SET_CHILD_SUBREAPER, 1);  // the new launcher becomes our child

    EXPECT_EQ(start(game).wait_for(60s), 0) << output();
    std::optional<pid_t> started;
    ASSERT_TRUE(wait_until([&] {
        return (started = platform::find_other_process("launcher.exe")).has_value();
    })) << output();
    EXPECT_EQ(play([&] { return reap(*started, 500ms); }), 0) << output();

    EXPECT_EQ(read_bytes(game / "launcher.exe"), newLauncher);
    v2["_launcher.dll"] = newLauncher;
    expect_site_state(v2);
    std::vector<std::string> order;
    for (const std::string& path : nginx.requests()) {
        if (path == kListPath || path.rfind("/game/", 0) == 0) order.push_back(path);
    }
    EXPECT_EQ(order, (std::vector<std::string>{kListPath, "/game/_launcher.dll", kListPath,
                                               "/game/maps/harita.map",
                                               "/game/maps/yeni \xFE"
                                               "ehir.map"}));
}

// At most 70 MiB of changes per run: one byte more shows the information
// box, and once it is closed the launcher ends with 0 having fetched
// nothing; exactly 70 MiB is fetched.
TEST_F(LauncherE2E, SeventyMebibytesOfChangesAreFetchedOneByteMoreAreNot) {
    const Files installed = {{"base/kept.pak", pattern(2 << 20, 1)}};
    write_tree(game, installed);
    for (const std::size_t total : {73400321u, 73400320u}) {
        SCOPED_TRACE(total);
        Files files = installed;
        files["base/big.pak"] = pattern(total - 10, 2);
        files["small.dat"] = "0123456789";
        ASSERT_NO_FATAL_FAILURE(publish(files));

        Child launcher = start(game);
        if (total > 70u << 20) {
            const auto box = find_window("^Bilgi$");
            ASSERT_TRUE(box) << output();
            EXPECT_FALSE(launcher.wait_for(300ms)) << "ended before the box was closed";
            xdotool({"windowfocus", "--sync", *box, "key", "Return"});
            EXPECT_EQ(launcher.wait_for(30s), 0) << output();
            EXPECT_EQ(nginx.count("/game/"), 0u);
            EXPECT_FALSE(fs::exists(game / "small.dat"));
        } else {
            EXPECT_EQ(play(launcher), 0) << output();
            expect_site_state(files);
            EXPECT_EQ(nginx.count("/game/"), 2u);
        }
    }
}

TEST_F(LauncherE2E, SecondInstanceEndsWithMinusOneWhileTheFirstHoldsTheMarker) {
    ASSERT_NO_FATAL_FAILURE(publish({{"a.pak", "a"}}));
    // The first runs under another file name, so the second cannot end it.
    Child holder = start(install("first", "valdora-launcher"), "valdora-launcher");
    ASSERT_TRUE(wait_until([&] { return nginx.count(kListPath) > 0; }));
    EXPECT_EQ(start(game).wait_for(20s), 255);
    EXPECT_EQ(nginx.count(kListPath), 1u);
    EXPECT_FALSE(holder.wait_for(0ms).has_value());
}

TEST_F(LauncherE2E, AnOlderLauncherIsEndedAtStartUp) {
    ASSERT_NO_FATAL_FAILURE(publish({{"a.pak", "a"}}));
    Child older = start(install("older"));
    ASSERT_TRUE(wait_until([&] { return nginx.count(kListPath) > 0; }));
    Child newer = start(game);
    EXPECT_EQ(older.wait_for(20s), 128 + SIGKILL);
    // The newer one takes over: it gets the marker and runs its patch.
    EXPECT_TRUE(wait_until([&] { return nginx.count(kListPath) == 2; }));
    EXPECT_FALSE(newer.wait_for(0ms).has_value());
}

TEST_F(LauncherE2E, AWaitingUpdateIsHandedOverInstalledAndStarted) {
    ASSERT_NO_FATAL_FAILURE(publish({{"a.pak", "a"}}));
    const std::string update = read_bytes(game / "launcher.exe") + "\n# newer\n";
    write_bytes(game / "_launcher.dll", update);

    EXPECT_EQ(start(game).wait_for(20s), 0);
    // launch_helper installs the update and starts it; it patches as usual.
    ASSERT_TRUE(wait_until([&] { return nginx.count(kListPath) > 0; }));
    EXPECT_EQ(read_bytes(game / "launcher.exe"), update);
    const auto restarted = platform::find_other_process("launcher.exe");
    ASSERT_TRUE(restarted.has_value());
    EXPECT_TRUE(
        fs::equivalent(fs::read_symlink("/proc/" + std::to_string(*restarted) + "/cwd"), game));
    ::kill(*restarted, SIGKILL);
}

}  // namespace
