// launcher.exe for real, in its own process and game directory, on the X
// display xvfb-run gives the test, against a server on the compiled-in
// address that counts what the launcher asks for.
#include <gtest/gtest.h>

#include <cstdlib>

#include "app/endpoints.h"
#include "e2e/e2e_support.h"
#include "platform/process.h"
#include "support/http_server.h"
#include "support/temp_dir.h"

namespace {

using e2e::Child;
namespace fs = std::filesystem;
using namespace std::chrono_literals;

bool eventually(const std::function<bool()>& condition) {
    for (int i = 0; i < 1000 && !condition(); ++i) std::this_thread::sleep_for(20ms);
    return condition();
}

int port_of(const char* host) {
    return std::stoi(std::string(host).substr(std::string(host).rfind(':') + 1));
}

class LauncherE2E : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "run under xvfb-run";
        ASSERT_EQ(port_of(valdora::kPatchHost), port_of(valdora::kWebHost));
        server_ = std::make_unique<testsupport::HttpServer>(port_of(valdora::kPatchHost));
        server_->serve(kList,
                       std::string(valdora::kPatchHost) +
                           "/files\r\nnot\r\ndata\\a.pak\r\n1000\r\n05.03.2024 07:08:09\r\n");
        server_->serve("/files/data\\a.pak", std::string(1000, 'a'));
        server_->serve("/serverlist_test.aspx", "Bir|x|y|A|B\r\n\xC4\xB0ki|x|y|C|D\r\n");
    }

    // A game directory with the launcher under `name`, the stand-in game
    // and launch_helper.exe.
    fs::path game(const std::string& dir, const std::string& name = "launcher.exe") {
        const fs::path d = temp_.path() / dir;
        fs::create_directories(d);
        fs::copy_file(LAUNCHER_EXE, d / name);
        fs::copy_file(GAME_STAND_IN, d / "valdora.exe");
        fs::copy_file(LAUNCH_HELPER, d / "launch_helper.exe");
        return d;
    }
    std::unique_ptr<Child> start(const fs::path& dir, const std::string& name = "launcher.exe") {
        // A running-launcher marker of these launchers only, so that a
        // launcher elsewhere on the machine cannot make them refuse.
        return std::make_unique<Child>(
            std::vector<std::string>{"./" + name}, dir,
            e2e::Environment{{"VALDORA_GAME_EXIT", "1"}, {"XDG_RUNTIME_DIR", temp_.path()}});
    }
    int listRequests() const { return server_->requests(kList); }

    static constexpr const char* kList = "/Patcher/1000_1.0.0.1_Update.txt";
    testsupport::TempDir temp_;
    std::unique_ptr<testsupport::HttpServer> server_;
};

TEST_F(LauncherE2E, PatchesShowsServersAndStartsTheChosenOneOnAClick) {
    const fs::path dir = game("game");
    auto launcher = start(dir);
    ASSERT_TRUE(eventually([&] { return server_->requests("/serverlist_test.aspx") > 0; }));
    EXPECT_EQ(testsupport::read_bytes(dir / "data/a.pak"), std::string(1000, 'a'));

    const auto window = e2e::find_window("Valdora Oyunu");
    ASSERT_TRUE(window.has_value());
    std::this_thread::sleep_for(500ms);  // the list is filled from the posted message
    // The first server's line, then the start button, as a player clicks them.
    e2e::xdotool({"mousemove", "--window", *window, "60", "358", "click", "1"});
    e2e::xdotool({"mousemove", "--window", *window, "107", "505", "click", "1"});

    ASSERT_TRUE(eventually([&] { return fs::exists(dir / "valdora_args.txt"); }));
    const auto signalled = fs::last_write_time(dir / "valdora_args.txt");
    EXPECT_EQ(launcher->wait_for(5s), 0);
    EXPECT_LT(fs::file_time_type::clock::now() - signalled, 1s);
    EXPECT_EQ(testsupport::read_bytes(dir / "valdora_args.txt"), "A\nB\n2\n");
}

TEST_F(LauncherE2E, SecondInstanceEndsWithMinusOneWhileTheFirstHoldsTheMarker) {
    // The first runs under another file name, so the second cannot end it.
    auto holder = start(game("first", "valdora-launcher"), "valdora-launcher");
    ASSERT_TRUE(eventually([&] { return listRequests() > 0; }));
    EXPECT_EQ(start(game("second"))->wait_for(20s), 255);
    EXPECT_EQ(listRequests(), 1);
    EXPECT_FALSE(holder->wait_for(0ms).has_value());
}

TEST_F(LauncherE2E, AnOlderLauncherIsEndedAtStartUp) {
    auto older = start(game("older"));
    ASSERT_TRUE(eventually([&] { return listRequests() > 0; }));
    auto newer = start(game("newer"));
    EXPECT_EQ(older->wait_for(20s), 128 + SIGKILL);
    // The newer one takes over: it gets the marker and runs its patch.
    EXPECT_TRUE(eventually([&] { return listRequests() == 2; }));
    EXPECT_FALSE(newer->wait_for(0ms).has_value());
}

TEST_F(LauncherE2E, AWaitingUpdateIsHandedOverInstalledAndStarted) {
    const fs::path dir = game("update");
    const std::string update = testsupport::read_bytes(dir / "launcher.exe") + "\n# newer\n";
    testsupport::write_bytes(dir / "_launcher.dll", update);

    EXPECT_EQ(start(dir)->wait_for(20s), 0);
    // launch_helper installs the update and starts it; it patches as usual.
    ASSERT_TRUE(eventually([&] { return listRequests() > 0; }));
    EXPECT_EQ(testsupport::read_bytes(dir / "launcher.exe"), update);
    const auto restarted = platform::find_other_process("launcher.exe");
    ASSERT_TRUE(restarted.has_value());
    EXPECT_TRUE(
        fs::equivalent(fs::read_symlink("/proc/" + std::to_string(*restarted) + "/cwd"), dir));
    ::kill(*restarted, SIGKILL);
}

}  // namespace
