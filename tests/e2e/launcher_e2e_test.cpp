// launcher.exe for real: its own process in a temporary game directory, an
// X display (the test runs under xvfb-run), real clicks (xdotool), and a
// patch server on the compiled-in address.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "app/endpoints.h"
#include "platform/process.h"
#include "support/files.h"
#include "support/http_server.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

bool eventually(const std::function<bool()>& condition, Clock::duration limit = 20s) {
    const auto deadline = Clock::now() + limit;
    while (Clock::now() < deadline) {
        if (condition()) return true;
        std::this_thread::sleep_for(20ms);
    }
    return condition();
}

std::string run(const std::string& command) {
    std::string out;
    if (FILE* p = ::popen(command.c_str(), "r")) {
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, p) != nullptr) out += buffer;
        ::pclose(p);
    }
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
    return out;
}

// A process of ours whose end we wait for.
struct Child {
    pid_t pid = -1;
    std::optional<int> status;

    bool ended(Clock::duration limit) {
        return eventually(
            [&] {
                if (status) return true;
                int s = 0;
                if (::waitpid(pid, &s, WNOHANG) == pid) status = s;
                return status.has_value();
            },
            limit);
    }
    int exitCode() const { return status && WIFEXITED(*status) ? WEXITSTATUS(*status) : -1; }
    bool killedBySignal() const { return status && WIFSIGNALED(*status); }
    ~Child() {
        if (pid > 0 && !status) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
    }
};

std::string port_of(const char* host) {
    const std::string h = host;
    return h.substr(h.rfind(':') + 1);
}

class LauncherE2E : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(std::getenv("DISPLAY"), nullptr) << "run under xvfb-run";
        ASSERT_EQ(port_of(valdora::kPatchHost), port_of(valdora::kWebHost));
        server_ =
            std::make_unique<testsupport::HttpServer>(std::stoi(port_of(valdora::kPatchHost)));
        const std::string file(1000, 'a');
        server_->serve("/Patcher/1000_1.0.0.1_Update.txt",
                       std::string(valdora::kPatchHost) +
                           "/files\r\nnot\r\ndata\\a.pak\r\n1000\r\n" + "05.03.2024 07:08:09\r\n");
        server_->serve("/files/data\\a.pak", file);
        server_->serve("/serverlist_test.aspx",
                       "Sunucu Bir|x|y|A|B\r\nSunucu \xC4\xB0ki|x|y|C|D\r\n");
        for (int i = 1; i <= 3; ++i) {
            server_->serve("/LauncherPromo" + std::to_string(i) + ".aspx",
                           "<html><body style='background:#000'></body></html>");
        }
        ::setenv("VALDORA_GAME_EXIT", "1", 1);
        // The running-launcher marker of these launchers only: a launcher
        // elsewhere on the machine must not make them refuse to start.
        ::setenv("XDG_RUNTIME_DIR", temp_.path().c_str(), 1);
    }

    // A game directory with the launcher under `name`, the stand-in game
    // and launch_helper.exe.
    fs::path game(const std::string& dir, const std::string& name = "launcher.exe") {
        const fs::path d = temp_.path() / dir;
        fs::create_directories(d);
        fs::copy_file(LAUNCHER_EXE, d / name, fs::copy_options::overwrite_existing);
        fs::copy_file(GAME_STAND_IN, d / "valdora.exe", fs::copy_options::overwrite_existing);
        fs::copy_file(LAUNCH_HELPER, d / "launch_helper.exe", fs::copy_options::overwrite_existing);
        return d;
    }

    std::unique_ptr<Child> start(const fs::path& dir, const std::string& name = "launcher.exe") {
        auto child = std::make_unique<Child>();
        const fs::path previous = fs::current_path();
        fs::current_path(dir);
        child->pid = platform::spawn_process("./" + name, {}).value_or(-1);
        fs::current_path(previous);
        return child;
    }

    int listRequests() const { return server_->requests("/Patcher/1000_1.0.0.1_Update.txt"); }

    testsupport::TempDir temp_;
    std::unique_ptr<testsupport::HttpServer> server_;
};

TEST_F(LauncherE2E, PatchesShowsServersAndStartsTheChosenOneOnAClick) {
    const fs::path dir = game("game");
    auto launcher = start(dir);
    ASSERT_TRUE(eventually([&] { return server_->requests("/serverlist_test.aspx") > 0; }));
    EXPECT_EQ(testsupport::read_bytes(dir / "data/a.pak"), std::string(1000, 'a'));

    const std::string window = run("xdotool search --sync --onlyvisible --name 'Valdora Oyunu'");
    ASSERT_FALSE(window.empty());
    std::this_thread::sleep_for(500ms);  // the list box is filled from the posted message
    // The first server's line, then the start button, as a player clicks them.
    run("xdotool mousemove --window " + window + " 60 358 click 1");
    std::this_thread::sleep_for(200ms);
    run("xdotool mousemove --window " + window + " 107 505 click 1");

    ASSERT_TRUE(eventually([&] { return fs::exists(dir / "valdora_args.txt"); }));
    const auto started = fs::last_write_time(dir / "valdora_args.txt");
    ASSERT_TRUE(launcher->ended(5s));
    const auto ended = fs::file_time_type::clock::now();
    EXPECT_EQ(launcher->exitCode(), 0);
    EXPECT_LT(ended - started, 1s);
    EXPECT_EQ(testsupport::read_bytes(dir / "valdora_args.txt"), "A\nB\n2\n");
}

TEST_F(LauncherE2E, SecondInstanceEndsWithMinusOneWhileTheFirstHoldsTheMarker) {
    // The first runs under another file name, so the second cannot end it.
    const fs::path first = game("first", "valdora-launcher");
    auto holder = start(first, "valdora-launcher");
    ASSERT_TRUE(eventually([&] { return listRequests() > 0; }));

    const fs::path second = game("second");
    auto refused = start(second);
    ASSERT_TRUE(refused->ended(20s));
    EXPECT_EQ(refused->exitCode(), 255);
    EXPECT_EQ(listRequests(), 1);
    EXPECT_FALSE(holder->ended(0s));
}

TEST_F(LauncherE2E, AnOlderLauncherIsEndedAtStartUp) {
    auto older = start(game("older"));
    ASSERT_TRUE(eventually([&] { return listRequests() > 0; }));
    auto newer = start(game("newer"));
    ASSERT_TRUE(older->ended(20s));
    EXPECT_TRUE(older->killedBySignal());
    // The newer one takes over: it passes the marker and runs its patch.
    EXPECT_TRUE(eventually([&] { return listRequests() == 2; }));
    EXPECT_FALSE(newer->ended(0s));
}

TEST_F(LauncherE2E, AWaitingUpdateIsHandedOverInstalledAndStarted) {
    const fs::path dir = game("update");
    std::string update = testsupport::read_bytes(dir / "launcher.exe") + "\n# a newer launcher\n";
    testsupport::write_bytes(dir / "_launcher.dll", update);

    auto launcher = start(dir);
    ASSERT_TRUE(launcher->ended(20s));
    EXPECT_EQ(launcher->exitCode(), 0);

    // launch_helper installs the update and starts it; it patches as usual.
    ASSERT_TRUE(eventually([&] { return listRequests() > 0; }, 30s));
    EXPECT_EQ(testsupport::read_bytes(dir / "launcher.exe"), update);
    const auto restarted = platform::find_other_process("launcher.exe");
    ASSERT_TRUE(restarted.has_value());
    EXPECT_TRUE(
        fs::equivalent(fs::read_symlink("/proc/" + std::to_string(*restarted) + "/cwd"), dir));
    ::kill(*restarted, SIGKILL);
}

}  // namespace
