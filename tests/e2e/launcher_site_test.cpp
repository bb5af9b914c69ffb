// launcher.exe as a player meets it: a game directory, the compiled-in
// host (127.0.0.1:8787) served by nginx from a published site, a virtual X
// display, and xdotool to start the game or close a message box.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <thread>

#include "app/endpoints.h"
#include "e2e/e2e_support.h"
#include "platform/process.h"
#include "support/files.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

constexpr std::int64_t kTime = 1709622489;  // 05.03.2024 07:08:09 UTC
// The first line of the server list box (template position 27, 215).
constexpr int kFirstServerX = 70, kFirstServerY = 357;
constexpr const char* kList = "/Patcher/1000_1.0.0.1_Update.txt";

using Files = std::map<std::string, std::string>;

std::string pattern(std::size_t size, char seed) {
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; i += 4096) bytes[i] = static_cast<char>(seed + i / 4096);
    return bytes;
}

class LauncherSite : public ::testing::Test {
protected:
    testsupport::TempDir dir;
    const fs::path build = dir.path() / "build";
    const fs::path site = dir.path() / "site";
    const fs::path game = dir.path() / "game";
    e2e::VirtualDisplay display;
    // The launcher's compiled-in host (both hosts are the same here).
    e2e::NginxSite nginx{site, dir.path() / "nginx", e2e::port_of(valdora::kPatchHost)};

    void SetUp() override {
        ASSERT_EQ(std::string(valdora::kPatchHost), valdora::kWebHost);
        ASSERT_TRUE(display.ok()) << "Xvfb did not start";
        fs::create_directories(game);
        fs::copy_file(PROGRAM_LAUNCHER, game / "launcher.exe");
        fs::copy_file(PROGRAM_LAUNCH_HELPER, game / "launch_helper.exe");
        fs::copy_file(PROGRAM_VALDORA_GAME_STAND_IN, game / "valdora.exe");
    }

    void TearDown() override { e2e::end_launchers_in(dir.path()); }

    // Makes the game build hold exactly `files` and publishes it.
    void publish(const Files& files, std::vector<std::string> extra = {}) {
        fs::remove_all(build);
        fs::create_directories(build);
        for (const auto& [path, bytes] : files) {
            testsupport::write_bytes(build / path, bytes);
            e2e::set_write_time(build / path, kTime);
        }
        std::vector<std::string> args = {VALDORA_PUBLISH_EXE,   build.string(),     site.string(),
                                         "--base-url",          nginx.url("/game"), "--pages",
                                         VALDORA_PAGE_TEMPLATES};
        args.insert(args.end(), extra.begin(), extra.end());
        const e2e::Result published = e2e::run(args, dir.path());
        ASSERT_EQ(published.status, 0) << published.output;
    }

    void serve() {
        fs::create_directories(site);
        std::string error;
        ASSERT_TRUE(nginx.start(error)) << error;
    }

    // An installed game: the files with the list's time.
    void install(const Files& files) {
        for (const auto& [path, bytes] : files) {
            testsupport::write_bytes(game / path, bytes);
            e2e::set_write_time(game / path, kTime);
        }
    }

    e2e::Child start_launcher() {
        return e2e::Child({(game / "launcher.exe").string()}, game,
                          {{"DISPLAY", display.name()}, {"VALDORA_GAME_EXIT", "1"}},
                          dir.path() / "launcher.out");
    }

    // Waits for the server list, then double-clicks the first server as a
    // player would; the launcher starts the game and ends. Its exit status.
    std::optional<int> play(
        const std::function<std::optional<int>(std::chrono::milliseconds)>& ended,
        std::size_t serverListsBefore) {
        const auto window = e2e::find_window(display.name(), "^Valdora Oyunu", 60s);
        if (!window) return std::nullopt;
        const auto deadline = std::chrono::steady_clock::now() + 60s;
        while (std::chrono::steady_clock::now() < deadline) {
            if (e2e::under(nginx.requests(), "/serverlist_test.aspx").size() > serverListsBefore) {
                e2e::double_click(display.name(), *window, kFirstServerX, kFirstServerY);
            }
            if (const auto status = ended(500ms)) return status;
        }
        return std::nullopt;
    }

    std::optional<int> play(e2e::Child& launcher) {
        return play([&](auto limit) { return launcher.wait_for(limit); },
                    e2e::under(nginx.requests(), "/serverlist_test.aspx").size());
    }

    // The game directory holds every published file byte for byte, with the
    // list's time.
    void expect_site_state(const Files& files) {
        for (const auto& [path, bytes] : files) {
            ASSERT_TRUE(fs::exists(game / path)) << path;
            EXPECT_EQ(testsupport::read_bytes(game / path), bytes) << path;
            EXPECT_EQ(e2e::write_time(game / path), kTime) << path;
        }
        EXPECT_FALSE(fs::exists(game / "~temp.dat"));
    }

    std::string launcher_output() const {
        return testsupport::read_bytes(dir.path() / "launcher.out");
    }
};

TEST_F(LauncherSite, FirstRunFillsAnEmptyGameDirectoryAndASecondRunDownloadsNothing) {
    const Files files = {
        {"base/valdora.pak", pattern(3 << 20, 'p')},
        {"maps/Kara Orman.map", pattern(200000, 'k')},
        {"ses/m\u00FCzik/a\u00E7\u0131l\u0131\u015F.ogg", "ogg"},
        {"readme.txt", "Valdora"},
    };
    ASSERT_NO_FATAL_FAILURE(publish(files));
    ASSERT_NO_FATAL_FAILURE(serve());

    e2e::Child first = start_launcher();
    EXPECT_EQ(play(first), 0) << launcher_output();
    expect_site_state(files);
    EXPECT_EQ(testsupport::read_bytes(game / "valdora_args.txt"), "127.0.0.1\n7001\n2\n");
    const std::size_t downloads = e2e::under(nginx.requests(), "/game/").size();
    EXPECT_EQ(downloads, files.size());

    fs::remove(game / "valdora_args.txt");
    e2e::Child second = start_launcher();
    EXPECT_EQ(play(second), 0) << launcher_output();
    EXPECT_EQ(e2e::under(nginx.requests(), "/game/").size(), downloads);
    EXPECT_EQ(e2e::under(nginx.requests(), kList).size(), 2u);
    EXPECT_TRUE(fs::exists(game / "valdora_args.txt"));
}

// The site publishes a new launcher together with other changes: the old
// launcher fetches only "_launcher.dll" and hands over; launch_helper puts it
// in place and starts it; the new launcher fetches the rest.
TEST_F(LauncherSite, SelfUpdateFetchesTheLauncherAloneThenTheNewLauncherTheRest) {
    const Files v1 = {{"base/valdora.pak", pattern(1 << 20, 'a')}, {"maps/harita.map", "v1"}};
    install(v1);
    const std::string newLauncher =
        testsupport::read_bytes(PROGRAM_LAUNCHER) + std::string("\nnew launcher build\n");
    testsupport::write_bytes(dir.path() / "new-launcher", newLauncher);
    e2e::set_write_time(dir.path() / "new-launcher", kTime);
    const Files v2 = {{"base/valdora.pak", pattern(1 << 20, 'a')},
                      {"maps/harita.map", "v2 of the map"},
                      {"maps/yeni \u015Fehir.map", pattern(500000, 'y')}};
    ASSERT_NO_FATAL_FAILURE(publish(v2, {"--launcher", (dir.path() / "new-launcher").string()}));
    ASSERT_NO_FATAL_FAILURE(serve());
    e2e::adopt_orphans();

    e2e::Child old = start_launcher();
    EXPECT_EQ(old.wait_for(60s), 0) << launcher_output();

    // The new launcher, started by launch_helper and handed to us.
    std::optional<pid_t> started;
    for (auto deadline = std::chrono::steady_clock::now() + 30s;
         !started && std::chrono::steady_clock::now() < deadline;) {
        started = platform::find_other_process("launcher.exe");
        std::this_thread::sleep_for(50ms);
    }
    ASSERT_TRUE(started) << launcher_output();
    EXPECT_EQ(play([&](auto limit) { return e2e::wait_for_adopted(*started, limit); }, 0), 0)
        << launcher_output();

    EXPECT_EQ(testsupport::read_bytes(game / "launcher.exe"), newLauncher);
    Files published = v2;
    published["_launcher.dll"] = newLauncher;
    expect_site_state(published);
    EXPECT_TRUE(fs::exists(game / "valdora_args.txt"));

    std::vector<std::string> order;
    for (const std::string& path : nginx.requests()) {
        if (path == kList || path.rfind("/game/", 0) == 0) order.push_back(path);
    }
    const std::vector<std::string> expected = {kList, "/game/_launcher.dll", kList,
                                               "/game/maps/harita.map",
                                               "/game/maps/yeni \xFE"
                                               "ehir.map"};
    EXPECT_EQ(order, expected);
}

// At most 70 MiB of changes per run: one byte more shows the information
// box, and the launcher ends with 0 once it is closed, having fetched
// nothing; exactly 70 MiB is fetched.
TEST_F(LauncherSite, SeventyMebibytesOfChangesAreFetchedOneByteMoreAreNot) {
    const Files installed = {{"base/kept.pak", pattern(2 << 20, 'k')}};
    install(installed);
    ASSERT_NO_FATAL_FAILURE(serve());
    for (const std::size_t total : {73400321u, 73400320u}) {
        SCOPED_TRACE(total);
        Files files = installed;
        files["base/big.pak"] = pattern(total - 10, 'b');
        files["small.dat"] = "0123456789";
        ASSERT_NO_FATAL_FAILURE(publish(files));
        const std::size_t before = e2e::under(nginx.requests(), "/game/").size();

        e2e::Child launcher = start_launcher();
        if (total > 70u << 20) {
            const auto box = e2e::find_window(display.name(), "^Bilgi$", 60s);
            ASSERT_TRUE(box) << launcher_output();
            EXPECT_FALSE(launcher.wait_for(300ms)) << "ended before the box was closed";
            e2e::press_return(display.name(), *box);
            EXPECT_EQ(launcher.wait_for(30s), 0) << launcher_output();
            EXPECT_EQ(e2e::under(nginx.requests(), "/game/").size(), before);
            EXPECT_FALSE(fs::exists(game / "base" / "big.pak"));
            EXPECT_FALSE(fs::exists(game / "small.dat"));
        } else {
            EXPECT_EQ(play(launcher), 0) << launcher_output();
            expect_site_state(files);
            EXPECT_EQ(e2e::under(nginx.requests(), "/game/").size(), before + 2);
        }
    }
}

}  // namespace
