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
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "app/endpoints.h"
#include "platform/process.h"
#include "support/launcher_log.h"
#include "support/site.h"
#include "support/temp_dir.h"

namespace {

using namespace testsupport;
namespace fs = std::filesystem;
constexpr const char* kServers = "/serverlist_test.aspx";

Result xdotool(const std::vector<std::string>& args) {
    std::vector<std::string> argv{"xdotool"};
    argv.insert(argv.end(), args.begin(), args.end());
    return run(argv, "/", {}, 5s);
}

// An Xvfb for the whole test program. -displayfd lets the server pick a free
// display itself and says which once it accepts clients.
class XvfbDisplay : public ::testing::Environment {
public:
    void SetUp() override {
        int ready[2];
        ASSERT_EQ(::pipe(ready), 0);
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(ready[0]);
            ::prctl(PR_SET_PDEATHSIG, SIGTERM);  // gone with the test, however it ends
            ::execlp("Xvfb", "Xvfb", "-displayfd", std::to_string(ready[1]).c_str(), "-screen", "0",
                     "1280x1024x24", "-nolisten", "tcp", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(ready[1]);
        std::string number;
        char c;
        while (::read(ready[0], &c, 1) == 1 && c != '\n') number += c;
        ::close(ready[0]);
        ASSERT_FALSE(number.empty()) << "Xvfb did not start";
        ::setenv("DISPLAY", (":" + number).c_str(), 1);
    }
    void TearDown() override {
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
    }

private:
    pid_t pid_ = -1;
};
const auto* const kDisplay = ::testing::AddGlobalTestEnvironment(new XvfbDisplay);

// The first window whose title matches `pattern`.
std::optional<std::string> find_window(const std::string& pattern) {
    std::optional<std::string> window;
    wait_until(
        [&] {
            const Result r = xdotool({"search", "--name", pattern});
            if (r.status == 0 && !r.output.empty())
                window = r.output.substr(0, r.output.find('\n'));
            return window.has_value();
        },
        60s);
    return window;
}

// launcher.exe made immutable (chattr +i), so that nothing can replace it.
struct Immutable {
    explicit Immutable(const fs::path& path) : fd(::open(path.c_str(), O_RDONLY)) {
        int flags = 0;
        ok = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0 &&
             (flags |= FS_IMMUTABLE_FL, ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0);
    }
    ~Immutable() {
        int flags = 0;
        if (ok && ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0) {
            flags &= ~FS_IMMUTABLE_FL;
            ::ioctl(fd, FS_IOC_SETFLAGS, &flags);
        }
        ::close(fd);
    }
    int fd;
    bool ok = false;
};

std::string command_line(pid_t pid) {
    std::string words = read_bytes("/proc/" + std::to_string(pid) + "/cmdline");
    for (char& c : words) c = c == '\0' ? ' ' : c;
    return words;
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
        ::prctl(PR_SET_CHILD_SUBREAPER, 1);  // launchers started by launchers are ours to reap
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

    void publish(const Files& files, const std::vector<std::string>& extra = {}) {
        fs::remove_all(build);
        write_tree(build, files);
        ASSERT_EQ(testsupport::publish(build, site, nginx.url("/game"), extra), "");
    }

    // The launcher in `d`, its game ending at once, with a running-launcher
    // marker of these launchers' own.
    Child start(const fs::path& d, const std::string& launcher = "launcher.exe",
                std::vector<std::string> args = {}, Environment env = {}) {
        args.insert(args.begin(), "./" + launcher);
        env.insert(env.end(), {{"VALDORA_GAME_EXIT", "1"}, {"XDG_RUNTIME_DIR", dir.path()}});
        return Child(args, d, env, dir.path() / "launcher.out");
    }
    std::string output() const { return read_bytes(dir.path() / "launcher.out"); }

    // The launcher's window, once its list shows a server: the first line
    // is painted in the colour of a list entry.
    std::optional<std::string> servers_listed() {
        const auto window = find_window("^Valdora Oyunu");
        if (!window) return {};
        return wait_until(
                   [&] {
                       const Result pixel =
                           run({"import", "-window", *window, "-crop", "1x1+170+351", "txt:-"}, "/",
                               {}, 5s);
                       return pixel.output.find("#505050") != std::string::npos;
                   },
                   60s)
                   ? window
                   : std::nullopt;
    }
    // A double-click on the first server, as a player starts the game.
    std::optional<int> play(Child& launcher) {
        const auto window = servers_listed();
        if (!window) return {};
        click(*window, 70, 357, 2);
        return launcher.wait_for(20s);
    }
    void click(const std::string& window, int x, int y, int times = 1) {
        xdotool({"mousemove", "--window", window, std::to_string(x), std::to_string(y), "click",
                 "--repeat", std::to_string(times), "--delay", "60", "1"});
    }

    void expect_site_state(const Files& files) {
        EXPECT_EQ(differences(game, files), std::vector<std::string>{});
        EXPECT_FALSE(fs::exists(game / "~temp.dat"));
        EXPECT_TRUE(fs::exists(game / "valdora_args.txt")) << "the game was not started";
    }
};

// The game directory holds only launcher.exe: the game comes from the site,
// can be started, and signals the launcher.
TEST_F(LauncherE2E, AFreshInstallFetchesTheGameStartsItAndASecondRunDownloadsNothing) {
    fs::remove(game / "valdora.exe");
    fs::remove(game / "launch_helper.exe");
    std::string deep;
    for (int i = 0; i < 64; ++i) deep += "d/";  // as deep as the publisher allows
    const Files files = {
        {"valdora.exe", read_bytes(GAME_STAND_IN)},
        {"base/valdora.pak", pattern(3 << 20, 1)},
        {"ses/m\u00FCzik/a\u00E7\u0131l\u0131\u015F temas\u0131.ogg", "ogg"},
        {"data/100% #1?.pak", "percent, hash, question mark"},
        {"data/a+b;c=d,e'f(g)&[h]!~\"<>{|}^`.dat", "punctuation"},
        {"data/empty.dat", ""},
        {".hidden/config", "dot folder"},
        {deep + "bottom.bin", "deep"},
    };
    ASSERT_NO_FATAL_FAILURE(publish(files));

    // A click on the first server, then on OYNA.
    Child first = start(game);
    const auto window = servers_listed();
    ASSERT_TRUE(window) << output();
    click(*window, 60, 358);
    click(*window, 107, 505);
    EXPECT_EQ(first.wait_for(20s), 0) << output();
    EXPECT_NE(output().find("valdora: trovhal signalled"), std::string::npos) << output();
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

    EXPECT_EQ(start(game).wait_for(60s), 0) << output();
    std::optional<pid_t> started;
    ASSERT_TRUE(wait_until([&] {
        return (started = platform::find_other_process("launcher.exe")).has_value();
    })) << output();
    const auto window = servers_listed();
    ASSERT_TRUE(window) << output();
    click(*window, 70, 357, 2);
    EXPECT_EQ(reap(*started, 20s), 0) << output();

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

// A waiting update is handed over, installed and started. One that cannot be
// put in place (an immutable launcher.exe) starts the old launcher once,
// with -test_launcher, whose log then tells why; the helper goes on at once
// when whoever started it is not a launcher.
TEST_F(LauncherE2E, AWaitingUpdateIsInstalledOrElseTheOldLauncherRunsOnceWithoutIt) {
    ASSERT_NO_FATAL_FAILURE(publish({{"a.pak", "a"}}));
    const std::string update = read_bytes(game / "launcher.exe") + "\n# newer\n";
    write_bytes(game / "_launcher.dll", update);
    EXPECT_EQ(start(game).wait_for(20s), 0);
    ASSERT_TRUE(wait_until([&] { return nginx.count(kListPath) == 1; })) << output();
    EXPECT_EQ(read_bytes(game / "launcher.exe"), update);
    EXPECT_EQ(log_messages(game).front(),
              "launch_helper: _launcher.dll, launcher.exe olarak kuruldu.");
    auto restarted = platform::find_other_process("launcher.exe");
    ASSERT_TRUE(restarted.has_value());
    EXPECT_EQ(command_line(*restarted), "launcher.exe ");
    ::kill(*restarted, SIGKILL);
    reap(*restarted, 20s);

    write_bytes(game / "_launcher.dll", update + "v3");
    const Immutable locked(game / "launcher.exe");
    if (!locked.ok) GTEST_SKIP() << "no immutable files here (chattr +i needs root and ext4/tmpfs)";
    EXPECT_EQ(run({"./launch_helper.exe"}, game, {{"XDG_RUNTIME_DIR", dir.path()}}, 20s).status, 0);
    ASSERT_TRUE(wait_until([&] { return nginx.count(kListPath) == 2; })) << output();
    restarted = platform::find_other_process("launcher.exe");
    ASSERT_TRUE(restarted.has_value());
    EXPECT_EQ(command_line(*restarted), "launcher.exe -test_launcher ");
    EXPECT_EQ(
        log_messages(game).front().rfind("launch_helper: launcher.exe g\xFCncellenemedi: ", 0), 0u);
    ::kill(*restarted, SIGKILL);
    reap(*restarted, 20s);
}

// At most 70 MiB of changes per run: one byte more shows the information
// box, and once it is closed the launcher ends with 0 having fetched nothing.
TEST_F(LauncherE2E, MoreThanSeventyMebibytesOfChangesAreNotFetched) {
    write_tree(game, {{"base/kept.pak", pattern(2 << 20, 1)}});
    ASSERT_NO_FATAL_FAILURE(publish({{"base/kept.pak", pattern(2 << 20, 1)},
                                     {"base/big.pak", pattern((70 << 20) - 9, 2)},
                                     {"small.dat", "0123456789"}}));
    Child launcher = start(game);
    const auto box = find_window("^Bilgi$");
    ASSERT_TRUE(box) << output();
    xdotool({"windowfocus", "--sync", *box, "key", "Return"});
    EXPECT_EQ(launcher.wait_for(30s), 0) << output();
    EXPECT_EQ(nginx.count("/game/"), 0u);
}

// Two launchers at the same moment, under other names than launcher.exe so
// that neither ends the other: one runs, the other ends with -1. So does a
// launcher whose marker is being looked at by another one starting.
TEST_F(LauncherE2E, ExactlyOneLauncherRunsAndAnyOtherEndsWithMinusOne) {
    ASSERT_NO_FATAL_FAILURE(publish({{"a.pak", "a"}}));
    Child a = start(install("a", "launcher-a"), "launcher-a");
    Child b = start(install("b", "launcher-b"), "launcher-b");
    std::optional<int> first;
    ASSERT_TRUE(wait_until([&] {
        first = a.wait_for(0ms) ? a.wait_for(0ms) : b.wait_for(0ms);
        return first.has_value();
    }));
    EXPECT_EQ(first, 255);
    ASSERT_TRUE(wait_until([&] { return nginx.count(kListPath) == 1; }));
    EXPECT_FALSE(a.wait_for(0ms) && b.wait_for(0ms));

    const int probe = ::open((dir.path() / "valdora_patcher.lock").c_str(), O_RDONLY);
    a.wait_for(0ms) ? ::kill(b.pid(), SIGKILL) : ::kill(a.pid(), SIGKILL);
    ASSERT_TRUE(wait_until([&] { return ::flock(probe, LOCK_SH | LOCK_NB) == 0; }));
    EXPECT_EQ(start(game).wait_for(20s), 255);
    EXPECT_EQ(nginx.count(kListPath), 1u);
    ::close(probe);
}

TEST_F(LauncherE2E, AnOlderLauncherIsEndedAtStartUp) {
    ASSERT_NO_FATAL_FAILURE(publish({{"a.pak", "a"}}));
    Child older = start(install("older"));
    ASSERT_TRUE(wait_until([&] { return nginx.count(kListPath) > 0; }));
    Child newer = start(game);
    EXPECT_EQ(older.wait_for(20s), 128 + SIGKILL);
    EXPECT_TRUE(wait_until([&] { return nginx.count(kListPath) == 2; }));
    EXPECT_FALSE(newer.wait_for(0ms).has_value());
}

// A double-click on "Oyun Rehberi" opens the guide twice, once per click. The
// desktop's opener is a script that counts.
TEST_F(LauncherE2E, TheGuideOpensOncePerClick) {
    ASSERT_NO_FATAL_FAILURE(publish({{"a.pak", "a"}}));
    write_bytes(game / "valdora_oyun_rehberi.pdf", "%PDF-1.4");
    write_bytes(dir.path() / "bin/xdg-open",
                "#!/bin/sh\necho \"$1\" >>" + (dir.path() / "opened").string() + "\n");
    fs::permissions(dir.path() / "bin/xdg-open", fs::perms(0755));
    Child launcher = start(game, "launcher.exe", {},
                           {{"PATH", (dir.path() / "bin").string() + ":" + std::getenv("PATH")}});
    const auto window = find_window("^Valdora Oyunu");
    ASSERT_TRUE(window) << output();
    click(*window, 346, 55, 2);
    click(*window, 461, 53);  // settings: once its dialog shows, both clicks were handled
    ASSERT_TRUE(find_window("^Ayarlar Penceresi$")) << output();
    ASSERT_TRUE(wait_until([&] {
        return run({"pgrep", "-f", (dir.path() / "bin/xdg-open").string()}, "/").status == 1;
    }));
    EXPECT_EQ(read_bytes(dir.path() / "opened"),
              "file://" + (game / "valdora_oyun_rehberi.pdf").string() + "\n" + "file://" +
                  (game / "valdora_oyun_rehberi.pdf").string() + "\n");
}

// In a Wayland session with XWayland the launcher takes the X11 window, which
// it can place and shape.
TEST_F(LauncherE2E, AWaylandSessionWithXWaylandGetsTheX11Window) {
    ASSERT_NO_FATAL_FAILURE(publish({{"a.pak", "a"}}));
    Child launcher =
        start(game, "launcher.exe", {},
              {{"WAYLAND_DISPLAY", "wayland-valdora-test"}, {"XDG_SESSION_TYPE", "wayland"}});
    EXPECT_TRUE(find_window("^Valdora Oyunu")) << output();
}

}  // namespace
