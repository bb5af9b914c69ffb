// launcher.exe for Windows as a player meets it, under Wine on an X display
// of the test's own (Xvfb): the installer run silently into a fresh Wine
// prefix, the installed launcher started from its Start-menu entry against a
// signed site on the compiled-in host (valdora-publish, nginx), xdotool as
// the player, screenshots held to the layout the Linux window is held to.
// The programs are those of VALDORA_WINDOWS_PROGRAMS (tools/windows-build.sh).
#include <gtest/gtest.h>

#include <random>

#include "endpoints/endpoints.h"
#include "settings/settings_file.h"
#include "support/launcher_log.h"
#include "support/screen.h"
#include "support/site.h"
#include "support/temp_dir.h"
#include "support/xvfb.h"
#include "window/controls.h"

namespace {

using namespace testsupport;
namespace fs = std::filesystem;

const auto* const kDisplay = ::testing::AddGlobalTestEnvironment(new XvfbDisplay);
const fs::path kPrograms = std::getenv("VALDORA_WINDOWS_PROGRAMS");
const std::string kMenu = "AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs";

// valdora-setup-VERSION.exe
std::string Installer() {
    for (const auto& e : fs::directory_iterator(kPrograms)) {
        if (e.path().filename().string().rfind("valdora-setup-", 0) == 0) return e.path();
    }
    return "";
}

class WinePlayer : public ::testing::Test {
protected:
    // One prefix for the suite, the installer run in it once; the game
    // folder as the Linux side and as Windows names it, and the user's.
    static inline fs::path root, prefix, installed;
    static inline std::string user;

    static Environment wine() {
        return {{"WINEPREFIX", prefix.string()}, {"VALDORA_GAME_EXIT", "1"}};
    }
    static Result wine_run(std::vector<std::string> args) {
        args.insert(args.begin(), VALDORA_WINE_RUN);
        return run(args, root, wine(), 120s);
    }
    static void SetUpTestSuite() {
        char pattern[] = "/tmp/valdora-wine-XXXXXX";
        root = ::mkdtemp(pattern);
        prefix = root / "prefix";
        const Result setup = wine_run({Installer(), "/S"});
        ASSERT_EQ(setup.status, 0) << setup.output;
        for (const auto& home : fs::directory_iterator(prefix / "drive_c" / "users")) {
            if (!fs::exists(home.path() / "AppData/Local/Valdora/launcher.exe")) continue;
            installed = home.path() / "AppData/Local/Valdora";
            user = "C:\\users\\" + home.path().filename().string() + "\\";
        }
    }
    static void TearDownTestSuite() { fs::remove_all(root); }

    TempDir dir;
    const fs::path build = dir.path() / "build", site = dir.path() / "site";
    const std::string host = valdora::kPatchHost;  // "http://127.0.0.1:PORT"
    Nginx nginx{site, dir.path() / "nginx", std::stoi(host.substr(host.rfind(':') + 1)), "1m"};
    const Files game = {{"valdora.exe", read_bytes(kPrograms / "valdora-game-stand-in.exe")},
                        {"base/valdora.pak", pattern(3 << 20, 1)},
                        {"ses/m\u00FCzik/a\u00E7\u0131l\u0131\u015F temas\u0131.ogg", "ogg"}};

    void SetUp() override {
        ASSERT_FALSE(installed.empty()) << "the installer put no launcher.exe in the prefix";
        ASSERT_EQ(run({VALDORA_PUBLISH_EXE, "keygen", (dir.path() / "keys").string()}, "/").status,
                  0);
        // The game folder as the installer left it.
        for (const auto& e : fs::directory_iterator(installed)) {
            const std::string name = e.path().filename();
            if (name != "launcher.exe" && name != "launch_helper.exe" && name != "uninstall.exe")
                fs::remove_all(e.path());
        }
        fs::copy_file(kPrograms / "launcher.exe", installed / "launcher.exe",
                      fs::copy_options::overwrite_existing);
    }
    // Whatever of the prefix still runs (a launcher a failed case left).
    void TearDown() override { run({"/usr/lib/wine/wineserver", "-k"}, root, wine(), 20s); }

    void publish(const Files& files, std::vector<std::string> extra = {}) {
        fs::remove_all(build);
        write_tree(build, files);
        extra.insert(extra.end(), {"--sign-key", (dir.path() / "keys" / "valdora.key").string()});
        ASSERT_EQ(testsupport::publish(build, site, nginx.url("/game"), extra), "");
        std::string error;
        ASSERT_TRUE(nginx.start(error)) << error;
    }
    // The installed launcher in its folder, or from the Start menu as the
    // player starts it (its status then is start's, not the launcher's).
    Child start(bool fromMenu = false) {
        const std::string program = fromMenu ? user + kMenu + "\\Valdora.lnk"
                                             : user + "AppData\\Local\\Valdora\\launcher.exe";
        return Child({VALDORA_WINE_RUN, "start", "/wait", program}, installed, wine(),
                     dir.path() / "launcher.out");
    }
    // Whether the window's pixels in `crop` ("WxH+X+Y") hold `colour`.
    static bool shows(const std::string& window, const std::string& crop,
                      const std::string& colour) {
        return run({"import", "-window", window, "-crop", crop, "txt:-"}, "/", {}, 5s)
                   .output.find(colour) != std::string::npos;
    }
    static void click(const std::string& window, int x, int y) {
        xdotool(
            {"mousemove", "--window", window, std::to_string(x), std::to_string(y), "click", "1"});
    }
    static void click(const std::string& window, int control) {
        const window::Rect r = window::PlaceInPixels(control);
        click(window, r.x + r.width / 2, r.y + r.height / 2);
    }
    static std::vector<std::string> layout(const fs::path& shot, bool ready) {
        const auto picture = load_picture(shot);
        if (!picture) return {"no screenshot " + shot.string()};
        return layout_faults(*picture, *load_picture(VALDORA_SKIN "/139.bmp"),
                             *load_picture(VALDORA_SKIN "/142.bmp"), ready);
    }
};

TEST_F(WinePlayer, TheInstallerPutsTheLauncherInItsFolderAndTheStartMenu) {
    EXPECT_TRUE(read_bytes(installed / "launch_helper.exe") ==
                read_bytes(kPrograms / "launch_helper.exe"));
    EXPECT_TRUE(fs::exists(installed / "uninstall.exe"));
    EXPECT_TRUE(fs::exists(installed.parent_path().parent_path() /
                           "Roaming/Microsoft/Windows/Start Menu/Programs/Valdora.lnk"));
    const Result key = wine_run(
        {"reg", "query", "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Valdora"});
    EXPECT_NE(key.output.find("uninstall.exe\" /S"), std::string::npos) << key.output;
}

// The screenshots of both states are in the test's output folder.
TEST_F(WinePlayer, AFreshInstallIsPatchedAndOynaStartsTheGame) {
    ASSERT_NO_FATAL_FAILURE(publish(game));
    // A returning player's settings, which the settings dialog changes.
    LaunchPreferences prefs{false, true, 1, 0, 3, 1, 2, 3};
    write_tree(installed, {{"base/pref_launch.prefs", settings::FormatSettingsFile(prefs)}});
    Child launcher = start();
    const auto window = find_window("^Valdora Oyunu");
    ASSERT_TRUE(window) << read_bytes(dir.path() / "launcher.out");
    // "Güncelleniyor: ..." in white on the status line.
    ASSERT_TRUE(wait_until([&] { return shows(*window, "324x13+222+374", "#FFFFFF"); }));
    const fs::path patching = VALDORA_SCREENSHOTS "/wine-1-patching.png";
    ASSERT_TRUE(screenshot(*window, patching));
    EXPECT_EQ(layout(patching, false), std::vector<std::string>{});
    ASSERT_TRUE(wait_until([&] { return shows(*window, "1x1+170+351", "#505050"); }, 60s))
        << read_bytes(installed / "base/launcher_log.txt");
    const fs::path ready = VALDORA_SCREENSHOTS "/wine-2-ready.png";
    ASSERT_TRUE(screenshot(*window, ready));
    EXPECT_EQ(layout(ready, true), std::vector<std::string>{});
    std::printf("screenshots: %s %s\n", patching.c_str(), ready.c_str());

    // Dragged by a free spot of its skin, as a player moves it.
    const auto before = geometry(*window);
    xdotool({"mousemove", "--window", *window, "100", "330", "mousedown", "1", "mousemove_relative",
             "30", "20", "sleep", "0.2", "mousemove_relative", "30", "20", "sleep", "0.2",
             "mouseup", "1"});
    EXPECT_TRUE(wait_until([&] {
        const auto after = geometry(*window);
        return after && before && after->x == before->x + 60 && after->y == before->y + 40;
    }));

    // The settings dialog, by keyboard from its first control: "Parlama
    // Efekti" ticked, the next texture filtering, "OK".
    click(*window, window::kSettingsButton);
    const auto dialog = find_window("^Ayarlar Penceresi$", 10s);
    ASSERT_TRUE(dialog);
    ASSERT_TRUE(screenshot(*dialog, VALDORA_SCREENSHOTS "/wine-3-settings.png"));
    xdotool({"key", "--delay", "100", "space", "Tab", "Tab", "Tab", "Tab", "Down", "Return"});
    EXPECT_TRUE(wait_until([&] { return !find_window("^Ayarlar Penceresi$", 0s); }, 5s));
    prefs.hdrEnabled = true;
    prefs.textureFiltering = 2;

    click(*window, 60, 358);
    click(*window, window::kStartButton);
    // Well within the 30 s the launcher gives a game that never signals.
    EXPECT_EQ(launcher.wait_for(15s), 0);
    EXPECT_EQ(read_bytes(installed / "valdora_args.txt"), "127.0.0.1\n7001\n2\n");
    EXPECT_EQ(differences(installed, game), std::vector<std::string>{});
    // Saved by OYNA, byte for byte as on Linux.
    EXPECT_EQ(read_bytes(installed / "base/pref_launch.prefs"),
              settings::FormatSettingsFile(prefs));
    // Wine has no browser for the WebBrowser control: the panes stay black.
    const auto log = log_messages(installed);
    EXPECT_TRUE(std::any_of(log.begin(), log.end(), [](const std::string& line) {
        return line.rfind("Web panelleri y\xFCklenemedi: ", 0) == 0;
    }));
}

// The close button at random moments of every phase: the downloads, the wait
// for a server list that does not come yet, the servers listed.
TEST_F(WinePlayer, TheCloseButtonEndsTheLauncherWithinTwoSeconds) {
    ASSERT_NO_FATAL_FAILURE(publish(game));
    const fs::path list = site / "serverlist_test.aspx", aside = dir.path() / "serverlist";
    fs::rename(list, aside);
    std::mt19937 random(std::random_device{}());
    for (int round = 0; round < 6; ++round) {
        if (round == 2) write_tree(installed, game);  // nothing to download: the wait
        if (round == 4) fs::rename(aside, list);      // then the servers come
        const long at = std::uniform_int_distribution<long>(0, round < 4 ? 2000 : 500)(random);
        SCOPED_TRACE("round " + std::to_string(round) + ": closed " + std::to_string(at) +
                     " ms after the window showed" + (round < 4 ? "" : " its servers"));
        Child launcher = start();
        const auto window = find_window("^Valdora Oyunu");
        ASSERT_TRUE(window);
        const bool listed =
            round < 4 || wait_until([&] { return shows(*window, "1x1+170+351", "#505050"); });
        ASSERT_TRUE(listed);
        std::this_thread::sleep_for(std::chrono::milliseconds(at));  // the moment itself
        click(*window, window::kCloseButton);
        EXPECT_EQ(launcher.wait_for(2s), 0);
    }
}

// A new launcher comes alone; launch_helper.exe puts it in place of the
// running one and starts it, and that one fetches the rest. Started from the
// Start-menu entry.
TEST_F(WinePlayer, ASelfUpdateIsInstalledThroughLaunchHelper) {
    const std::string newLauncher = read_bytes(kPrograms / "launcher.exe") + "\nbuild 2\n";
    write_tree(dir.path(), {{"new-launcher.exe", newLauncher}});
    ASSERT_NO_FATAL_FAILURE(publish(
        game, {"--launcher", (dir.path() / "new-launcher.exe").string(), "--keyless-launcher"}));
    Child first = start(true);
    std::optional<std::string> window;
    ASSERT_TRUE(wait_until(
        [&] {
            return (window = find_window("^Valdora Oyunu", 0s)) &&
                   shows(*window, "1x1+170+351", "#505050");
        },
        60s));
    EXPECT_TRUE(read_bytes(installed / "launcher.exe") == newLauncher);
    // Installed: no word of launch_helper's carried over (failures alone are).
    EXPECT_NE(log_messages(installed).front().rfind("launch_helper", 0), 0u);
    EXPECT_EQ(differences(installed, game), std::vector<std::string>{});
    click(*window, window::kCloseButton);
    EXPECT_TRUE(wait_until([&] { return !find_window("^Valdora Oyunu", 0s); }, 10s));
}

// Last: the uninstaller, as Windows names it, leaves the game unless asked
// to remove it too.
TEST_F(WinePlayer, UninstallingLeavesTheGameUnlessAsked) {
    write_tree(installed, game);
    const std::string folder = user + "AppData\\Local\\Valdora",
                      uninstaller = folder + "\\uninstall.exe";
    // In its place and to its end (_?=), so the next one does not meet it.
    ASSERT_EQ(wine_run({uninstaller, "/S", "_?=" + folder}).status, 0);
    EXPECT_EQ(differences(installed, game), std::vector<std::string>{});
    EXPECT_FALSE(fs::exists(installed / "launcher.exe") ||
                 fs::exists(installed / "launch_helper.exe"));
    ASSERT_EQ(wine_run({Installer(), "/S"}).status, 0);
    ASSERT_EQ(wine_run({uninstaller, "/S", "/REMOVEGAME"}).status, 0);
    EXPECT_TRUE(wait_until([&] { return !fs::exists(installed); }))
        << ::testing::PrintToString(strays(installed, {}));
}

}  // namespace
