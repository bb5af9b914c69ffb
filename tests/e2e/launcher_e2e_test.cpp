// launcher.exe as a player meets it, in its own process and game directory
// on an X display of the test's own (Xvfb): the compiled-in host served by
// nginx from a site made by valdora-publish, and xdotool as the player.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <unistd.h>

#include "endpoints/endpoints.h"
#include "platform/process.h"
#include "support/launcher_log.h"
#include "support/screen.h"
#include "support/site.h"
#include "support/temp_dir.h"
#include "support/xvfb.h"

namespace {

using namespace testsupport;
namespace fs = std::filesystem;
constexpr const char* kServers = "/serverlist_test.aspx";

const auto* const kDisplay = ::testing::AddGlobalTestEnvironment(new XvfbDisplay);

void click(const std::string& window, int x, int y, int times = 1) {
    xdotool({"mousemove", "--window", window, std::to_string(x), std::to_string(y), "click",
             "--repeat", std::to_string(times), "--delay", "60", "1"});
}

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
        ::prctl(PR_SET_CHILD_SUBREAPER, 1);  // launchers started by launchers are ours
    }

    // A game directory with the launcher, the stand-in game and launch_helper.exe.
    fs::path install(const std::string& name, const std::string& launcher = "launcher.exe") {
        const fs::path d = dir.path() / name;
        fs::create_directories(d);
        fs::copy_file(LAUNCHER_EXE, d / launcher);
        fs::copy_file(GAME_STAND_IN, d / "valdora.exe");
        fs::copy_file(LAUNCH_HELPER, d / "launch_helper.exe");
        return d;
    }
    void publish(const Files& files, const std::vector<std::string>& extra = {}) {
        fs::remove_all(build);
        write_tree(build, files);
        ASSERT_EQ(testsupport::publish(build, site, nginx.url("/game"), extra), "");
    }

    // The launcher in `d`, its game ending at once unless `env` says
    // otherwise, with a running-launcher marker of these launchers' own.
    Child start(const fs::path& d, const std::string& launcher = "launcher.exe",
                Environment env = {}) {
        env.insert(env.begin(), {{"VALDORA_GAME_EXIT", "1"}, {"XDG_RUNTIME_DIR", dir.path()}});
        return Child({"./" + launcher}, d, env, dir.path() / "launcher.out");
    }
    std::string output() const { return read_bytes(dir.path() / "launcher.out"); }

    // The launcher's window once its list shows a server: the first line is
    // painted in the colour of a list entry.
    std::optional<std::string> servers_listed() {
        const auto window = find_window("^Valdora Oyunu");
        const auto listed = [&] {
            const std::vector<std::string> grab{"import", "-window",     *window,
                                                "-crop",  "1x1+170+351", "txt:-"};
            return run(grab, "/", {}, 5s).output.find("#505050") != std::string::npos;
        };
        return window && wait_until(listed, 60s) ? window : std::nullopt;
    }
    // A double-click on the first server, as a player starts the game.
    std::optional<int> play(const std::function<std::optional<int>()>& ended) {
        const auto window = servers_listed();
        if (!window) return {};
        click(*window, 70, 357, 2);
        std::optional<int> status;
        wait_until([&] { return (status = ended()).has_value(); });
        return status;
    }
};

// The game directory holds only launcher.exe: the game comes from the site,
// is started with a click on a server and one on OYNA, and signals back.
TEST_F(LauncherE2E, AFreshInstallFetchesTheGameStartsItAndASecondRunDownloadsNothing) {
    fs::remove(game / "valdora.exe");
    fs::remove(game / "launch_helper.exe");
    std::string deep;
    for (int i = 0; i < 64; ++i) deep += "d/";  // as deep as the publisher allows
    const Files files = {{"valdora.exe", read_bytes(GAME_STAND_IN)},
                         {"base/valdora.pak", pattern(3 << 20, 1)},
                         {"ses/m\u00FCzik/a\u00E7\u0131l\u0131\u015F temas\u0131.ogg", "ogg"},
                         {"data/100% #1.pak", "percent, hash"},
                         {"data/a+b;c=d,e'f(g)&[h]!~{}^`.dat", ""},
                         {deep + "bottom.bin", "deep"}};
    ASSERT_NO_FATAL_FAILURE(publish(files));

    Child first = start(game, "launcher.exe", {{"VALDORA_GAME_EXIT", "never"}});
    const auto window = servers_listed();
    ASSERT_TRUE(window) << output();
    // The web panes' module opens inside the program: each pane asks for its
    // page, and the large one shows it (it is black until then).
    for (const char* page :
         {"/LauncherPromo1.aspx", "/LauncherPromo2.aspx", "/LauncherPromo3.aspx"})
        EXPECT_TRUE(wait_until([&] { return nginx.count(page) == 1; })) << page;
    std::string pane;
    EXPECT_TRUE(wait_until([&] {
        pane = run({"import", "-window", *window, "-crop", "1x1+430+300", "txt:-"}, "/", {}, 5s)
                   .output;
        return pane.find("0,0:") != std::string::npos && pane.find("#000000") == std::string::npos;
    })) << pane;
    // Drawn as the layout has it (the Windows window is held to the same).
    const auto shot = screenshot(*window, VALDORA_SCREENSHOTS "/linux-ready.png");
    ASSERT_TRUE(shot);
    EXPECT_EQ(layout_faults(*shot, *load_picture(VALDORA_SKIN "/139.bmp"),
                            *load_picture(VALDORA_SKIN "/142.bmp"), true),
              std::vector<std::string>{});
    click(*window, 60, 358);
    click(*window, 107, 505);
    EXPECT_EQ(first.wait_for(20s), 0) << output();
    EXPECT_NE(output().find("valdora: trovhal signalled"), std::string::npos) << output();
    // The game plays on, holding none of the launcher's sockets: the web
    // panes' processes end with the launcher.
    const auto played = platform::find_other_process("valdora.exe");
    ASSERT_TRUE(played.has_value());
    EXPECT_TRUE(wait_until([] { return web_engine_orphans() == 0; }, 10s));
    ::kill(*played, SIGKILL);
    reap(*played, 20s);
    EXPECT_EQ(read_bytes(game / "valdora_args.txt"), "127.0.0.1\n7001\n2\n");
    EXPECT_EQ(differences(game, files), std::vector<std::string>{});
    EXPECT_FALSE(fs::exists(game / "~temp.dat"));

    Child second = start(game);
    EXPECT_EQ(play([&] { return second.wait_for(0ms); }), 0) << output();
    EXPECT_EQ(nginx.count("/game/"), files.size());  // each file once
    EXPECT_EQ(nginx.count(kListPath), 2u);
}

// A new launcher comes alone; launch_helper puts it in place and starts it,
// and it fetches the rest. An update that cannot be put in place (an
// immutable launcher.exe) starts the old launcher once, with -test_launcher,
// whose log tells why; the helper does not wait for a parent that is not a
// launcher.
TEST_F(LauncherE2E, SelfUpdateIsInstalledOrElseTheOldLauncherRunsOnceWithoutIt) {
    write_tree(game, {{"maps/harita.map", "v1"}});
    const std::string newLauncher = read_bytes(LAUNCHER_EXE) + "\nbuild 2\n";
    write_tree(dir.path(), {{"new-launcher", newLauncher}});
    Files v2 = {{"maps/harita.map", "v2 of the map"}, {"maps/yeni \u015Fehir.map", "new"}};
    ASSERT_NO_FATAL_FAILURE(publish(v2, {"--launcher", dir.path() / "new-launcher"}));

    EXPECT_EQ(start(game).wait_for(60s), 0) << output();
    std::optional<pid_t> restarted;
    ASSERT_TRUE(wait_until([&] {
        return (restarted = platform::find_other_process("launcher.exe")).has_value();
    })) << output();
    EXPECT_EQ(play([&] { return reap(*restarted, 0ms); }), 0) << output();
    v2["_launcher.dll"] = newLauncher;
    EXPECT_EQ(differences(game, v2), std::vector<std::string>{});
    EXPECT_EQ(read_bytes(game / "launcher.exe"), newLauncher);
    EXPECT_NE(log_messages(game).front().rfind("launch_helper", 0),
              0u);                         // failures alone carry over
    EXPECT_EQ(nginx.count("/game/"), 3u);  // the launcher alone, then the rest

    write_bytes(game / "_launcher.dll", newLauncher + "build 3\n");
    const int fd = ::open((game / "launcher.exe").c_str(), O_RDONLY);
    int flags = FS_IMMUTABLE_FL;
    if (::ioctl(fd, FS_IOC_SETFLAGS, &flags) != 0) GTEST_SKIP() << "no chattr +i here";
    EXPECT_EQ(run({"./launch_helper.exe"}, game, {{"XDG_RUNTIME_DIR", dir.path()}}, 20s).status, 0);
    const bool started = wait_until([&] { return nginx.count(kListPath) == 3; });
    flags = 0;
    ::ioctl(fd, FS_IOC_SETFLAGS, &flags);
    ASSERT_TRUE(started) << output();
    restarted = platform::find_other_process("launcher.exe");
    ASSERT_TRUE(restarted.has_value());
    EXPECT_EQ(read_bytes("/proc/" + std::to_string(*restarted) + "/cmdline"),
              std::string("launcher.exe\0-test_launcher\0", 28));
    EXPECT_EQ(log_messages(game).front(),
              "launch_helper: launcher.exe g\xFCncellenemedi: Operation not permitted");
    ::kill(*restarted, SIGKILL);
    reap(*restarted, 20s);
}

// Started by hand in a game directory its group may write, the launcher
// patches the game but never installs a "_launcher.dll" another user put there.
TEST_F(LauncherE2E, WhereOthersMayWriteTheGameIsPatchedButNoUpdateInstalled) {
    ASSERT_NO_FATAL_FAILURE(publish({{"a.pak", "a"}}));
    write_bytes(game / "_launcher.dll", "#!/bin/sh\necho pwned >pwned\n");
    ASSERT_EQ(::chown((game / "_launcher.dll").c_str(), 65534, 65534), 0);
    fs::permissions(game, fs::perms(0775));
    Child launcher = start(game);
    ASSERT_TRUE(wait_until([&] { return nginx.count(kServers) > 0; })) << output();
    EXPECT_EQ(read_bytes(game / "launcher.exe"), read_bytes(LAUNCHER_EXE));
    EXPECT_EQ(read_bytes(game / "a.pak"), "a");
    EXPECT_FALSE(fs::exists(game / "pwned"));
    EXPECT_NE(log_messages(game).at(0).find("yazabiliyor (.)"), std::string::npos);
}

// Two launchers at the same moment: one runs; the other ends with -1 (or, when
// it started a clock tick earlier, is ended by the newer one as an older
// launcher). So does one that meets another launcher looking at the marker.
TEST_F(LauncherE2E, ExactlyOneLauncherRunsAndAnyOtherEndsWithMinusOne) {
    ASSERT_NO_FATAL_FAILURE(publish({{"a.pak", "a"}}));
    Child a = start(install("a"));
    Child b = start(install("b"));
    std::optional<int> first;
    ASSERT_TRUE(wait_until(
        [&] { return (first = a.wait_for(0ms) ? a.wait_for(0ms) : b.wait_for(0ms)).has_value(); }));
    EXPECT_TRUE(first == 255 || first == 128 + SIGKILL) << *first;
    ASSERT_TRUE(wait_until([&] { return nginx.count(kListPath) == 1; }));
    EXPECT_FALSE(a.wait_for(0ms) && b.wait_for(0ms));

    const int probe = ::open((dir.path() / "valdora_patcher.lock").c_str(), O_RDONLY);
    ::kill(a.wait_for(0ms) ? b.pid() : a.pid(), SIGKILL);
    ASSERT_TRUE(wait_until([&] { return ::flock(probe, LOCK_SH | LOCK_NB) == 0; }));
    EXPECT_EQ(start(game).wait_for(20s), 255);
    EXPECT_EQ(nginx.count(kListPath), 1u);
    EXPECT_FALSE(fs::exists(game / "base" / "pref_launch.prefs"));  // nor any file of its own
    ::close(probe);
}

// An older launcher of this game directory is ended at start-up; one of
// another game directory is not (the running-launcher marker then ends the
// new one).
TEST_F(LauncherE2E, AnOlderLauncherIsEndedAtStartUp) {
    ASSERT_NO_FATAL_FAILURE(publish({{"a.pak", "a"}}));
    Child elsewhere = start(install("elsewhere"));
    ASSERT_TRUE(wait_until([&] { return nginx.count(kListPath) > 0; }));
    EXPECT_EQ(start(game).wait_for(20s), 255);
    EXPECT_FALSE(elsewhere.wait_for(0ms).has_value());
    ::kill(elsewhere.pid(), SIGKILL);
    EXPECT_EQ(elsewhere.wait_for(20s), 128 + SIGKILL);
    Child older = start(game);
    ASSERT_TRUE(wait_until([&] { return nginx.count(kListPath) == 2; }));
    Child newer = start(game);
    EXPECT_EQ(older.wait_for(20s), 128 + SIGKILL);
    EXPECT_TRUE(wait_until([&] { return nginx.count(kListPath) == 3; }));
    EXPECT_FALSE(newer.wait_for(0ms).has_value());
}

}  // namespace
