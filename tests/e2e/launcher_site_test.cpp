// launcher.exe as a player meets it: a game directory, the compiled-in host
// served by nginx from a site made by valdora-publish, and xdotool to start
// the game or close a message box (CTest runs this under xvfb-run).
#include <gtest/gtest.h>
#include <sys/prctl.h>

#include <cstdlib>
#include <functional>
#include <set>

#include "app/endpoints.h"
#include "e2e/e2e_support.h"
#include "platform/process.h"
#include "support/temp_dir.h"

namespace {

using namespace e2e;
using Files = std::map<std::string, std::string>;

constexpr std::int64_t kTime = 1709622489;  // 05.03.2024 07:08:09 UTC
constexpr const char* kList = "/Patcher/1000_1.0.0.1_Update.txt";

std::string pattern(std::size_t size, char seed) {
    std::string bytes(size, seed);
    for (std::size_t i = 0; i < size; i += 4093) bytes[i] = static_cast<char>(seed + i);
    return bytes;
}

class LauncherSite : public ::testing::Test {
protected:
    testsupport::TempDir dir;
    const fs::path build = dir.path() / "build", site = dir.path() / "site";
    const fs::path game = dir.path() / "game";
    // The compiled-in host, "http://127.0.0.1:PORT".
    const std::string host = valdora::kPatchHost;
    NginxSite nginx{site, dir.path() / "nginx", std::stoi(host.substr(host.rfind(':') + 1))};

    void SetUp() override {
        ASSERT_EQ(host, valdora::kWebHost);
        ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "needs an X display (xvfb-run)";
        fs::create_directories(site);
        fs::create_directories(game);
        fs::copy_file(PROGRAM_LAUNCHER, game / "launcher.exe");
        fs::copy_file(PROGRAM_LAUNCH_HELPER, game / "launch_helper.exe");
        fs::copy_file(PROGRAM_VALDORA_GAME_STAND_IN, game / "valdora.exe");
        std::string error;
        ASSERT_TRUE(nginx.start(error)) << error;
    }

    // Publishes a game build of exactly `files` (and the pages).
    void publish(const Files& files, const std::vector<std::string>& extra = {}) {
        fs::remove_all(build);
        write(build, files);
        std::vector<std::string> args = {
            VALDORA_PUBLISH_EXE,   build, site, "--base-url", nginx.url("/game"), "--pages",
            VALDORA_PAGE_TEMPLATES};
        args.insert(args.end(), extra.begin(), extra.end());
        const Result published = run(args, dir.path());
        ASSERT_EQ(published.status, 0) << published.output;
    }

    static void write(const fs::path& root, const Files& files) {
        for (const auto& [path, bytes] : files) {
            testsupport::write_bytes(root / path, bytes);
            testsupport::set_write_time(root / path, kTime);
        }
    }

    Child start_launcher() {
        return Child({game / "launcher.exe"}, game, {{"VALDORA_GAME_EXIT", "1"}},
                     dir.path() / "launcher.out");
    }

    // Double-clicks the first server until the launcher ends, as a player
    // would once the servers are listed (before, the clicks meet an empty or
    // hidden list). The launcher starts the game and ends; its exit status.
    std::optional<int> play(const std::function<std::optional<int>()>& ended) {
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
    // list's time.
    void expect_site_state(const Files& files) {
        for (const auto& [path, bytes] : files) {
            ASSERT_TRUE(fs::exists(game / path)) << path;
            EXPECT_EQ(testsupport::read_bytes(game / path), bytes) << path;
            EXPECT_EQ(testsupport::write_time(game / path), kTime) << path;
        }
        EXPECT_FALSE(fs::exists(game / "~temp.dat"));
        EXPECT_TRUE(fs::exists(game / "valdora_args.txt")) << "the game was not started";
    }

    std::string output() const { return testsupport::read_bytes(dir.path() / "launcher.out"); }
};

TEST_F(LauncherSite, FirstRunFillsAnEmptyGameDirectoryAndASecondRunDownloadsNothing) {
    std::string deep;
    for (int i = 0; i < 64; ++i) deep += "d/";  // as deep as the publisher allows
    const Files files = {
        {"base/valdora.pak", pattern(3 << 20, 'p')},
        {"maps/Kara Orman.map", pattern(200000, 'k')},
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

    Child first = start_launcher();
    EXPECT_EQ(play(first), 0) << output();
    expect_site_state(files);
    EXPECT_EQ(testsupport::read_bytes(game / "valdora_args.txt"), "127.0.0.1\n7001\n2\n");
    std::set<std::string> fetched;
    for (const std::string& path : nginx.requests()) {
        if (path.rfind("/game/", 0) == 0) fetched.insert(path);
    }
    EXPECT_EQ(fetched.size(), files.size());
    EXPECT_EQ(nginx.count("/game/"), files.size());

    Child second = start_launcher();
    EXPECT_EQ(play(second), 0) << output();
    EXPECT_EQ(nginx.count("/game/"), files.size());
    EXPECT_EQ(nginx.count(kList), 2u);
}

// The site publishes a new launcher together with other changes: the old
// launcher fetches only "_launcher.dll" and hands over; launch_helper puts it
// in place and starts it; the new launcher fetches the rest.
TEST_F(LauncherSite, SelfUpdateFetchesTheLauncherAloneThenTheNewLauncherTheRest) {
    write(game, {{"base/valdora.pak", pattern(1 << 20, 'a')}, {"maps/harita.map", "v1"}});
    const std::string newLauncher = testsupport::read_bytes(PROGRAM_LAUNCHER) + "\nbuild 2\n";
    write(dir.path(), {{"new-launcher", newLauncher}});
    Files v2 = {{"base/valdora.pak", pattern(1 << 20, 'a')},
                {"maps/harita.map", "v2 of the map"},
                {"maps/yeni \u015Fehir.map", pattern(500000, 'y')}};
    ASSERT_NO_FATAL_FAILURE(publish(v2, {"--launcher", dir.path() / "new-launcher"}));
    ::prctl(PR_SET_CHILD_SUBREAPER, 1);  // the new launcher becomes our child

    Child old = start_launcher();
    EXPECT_EQ(old.wait_for(60s), 0) << output();
    std::optional<pid_t> started;
    for (int i = 0; i < 600 && !started; ++i, std::this_thread::sleep_for(50ms)) {
        started = platform::find_other_process("launcher.exe");
    }
    ASSERT_TRUE(started) << output();
    EXPECT_EQ(play([&] { return reap(*started, 500ms); }), 0) << output();

    EXPECT_EQ(testsupport::read_bytes(game / "launcher.exe"), newLauncher);
    v2["_launcher.dll"] = newLauncher;
    expect_site_state(v2);
    std::vector<std::string> order;
    for (const std::string& path : nginx.requests()) {
        if (path == kList || path.rfind("/game/", 0) == 0) order.push_back(path);
    }
    EXPECT_EQ(order, (std::vector<std::string>{kList, "/game/_launcher.dll", kList,
                                               "/game/maps/harita.map",
                                               "/game/maps/yeni \xFE"
                                               "ehir.map"}));
}

// At most 70 MiB of changes per run: one byte more shows the information
// box, and once it is closed the launcher ends with 0 having fetched
// nothing; exactly 70 MiB is fetched.
TEST_F(LauncherSite, SeventyMebibytesOfChangesAreFetchedOneByteMoreAreNot) {
    const Files installed = {{"base/kept.pak", pattern(2 << 20, 'k')}};
    write(game, installed);
    for (const std::size_t total : {73400321u, 73400320u}) {
        SCOPED_TRACE(total);
        Files files = installed;
        files["base/big.pak"] = pattern(total - 10, 'b');
        files["small.dat"] = "0123456789";
        ASSERT_NO_FATAL_FAILURE(publish(files));

        Child launcher = start_launcher();
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

}  // namespace
