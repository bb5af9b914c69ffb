#include "platform/process.h"

#include <gtest/gtest.h>

#include "platform/instance_marker.h"
#include "platform/last_error.h"
#include "platform/named_event.h"
#include "platform/system_info.h"
#include "support/process.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testsupport::reap;
using testsupport::wait_until;

namespace {

std::string unique_name(const char* base) {
    return std::string(base) + "-test-" + std::to_string(::getpid());
}

TEST(InstanceMarker, OneHolderAtATimeFreedWhenTheHolderIsKilled) {
    const std::string name = unique_name("valdora_patcher");
    const pid_t holder = ::fork();
    if (holder == 0) {
        if (const auto marker = platform::InstanceMarker::acquire(name)) ::pause();
        ::_exit(1);
    }
    ASSERT_TRUE(wait_until([&] { return platform::InstanceMarker::is_held(name); }));
    EXPECT_EQ(platform::InstanceMarker::acquire(name), nullptr);
    ::kill(holder, SIGKILL);
    EXPECT_EQ(reap(holder, 20s), 128 + SIGKILL);
    EXPECT_NE(platform::InstanceMarker::acquire(name), nullptr);
}

// The game's start handshake: a process that knows only the name signals.
TEST(NamedEvent, WaitEndsWhenAnotherProcessSignalsAndStaleEventsAreReplaced) {
    const std::string name = unique_name("trovhal");
    auto event = platform::NamedEvent::create(name);
    ASSERT_NE(event, nullptr);
    EXPECT_FALSE(event->wait_for(0ms));
    const auto signaller = platform::spawn_process(LAUNCHER_STAND_IN, {"signal", name});
    ASSERT_TRUE(signaller.has_value());
    EXPECT_TRUE(event->wait_for(20s));
    EXPECT_EQ(reap(*signaller, 20s), 0);
    EXPECT_TRUE(event->wait_for(0ms));  // manual reset

    // A creator that finds a signalled leftover starts fresh, and removes
    // the name when it is done.
    EXPECT_FALSE(platform::NamedEvent::create(name)->wait_for(0ms));
    event.reset();
    EXPECT_EQ(platform::NamedEvent::open(name), nullptr);
}

TEST(OlderLauncher, EndsExactlyLauncherExeAndNeverItself) {
    testsupport::TempDir dir;
    const auto start = [&](const std::string& fileName, const char* mode) {
        fs::create_directories((dir.path() / fileName).parent_path());
        fs::copy_file(LAUNCHER_STAND_IN, dir.path() / fileName);
        return platform::spawn_process((dir.path() / fileName).string(), {mode}).value();
    };
    const pid_t older = start("launcher.exe", "idle"), otherCase = start("Launcher.exe", "idle");
    ASSERT_TRUE(wait_until([&] {
        return platform::process_executable_name(older) == "launcher.exe" &&
               platform::process_executable_name(otherCase) == "Launcher.exe";
    }));
    EXPECT_EQ(reap(start("new/launcher.exe", "end-older"), 20s), 0);
    EXPECT_EQ(reap(older, 20s), 128 + SIGKILL);
    EXPECT_TRUE(platform::process_alive(otherCase));
    ::kill(otherCase, SIGKILL);
    reap(otherCase, 20s);
}

TEST(Process, ParametersSplitAtBlanksAndProgramsComeFromTheCurrentDirectoryOnly) {
    using V = std::vector<std::string>;
    EXPECT_EQ(platform::split_parameters("  my server  \"x\" 2 "),
              (V{"my", "server", "\"x\"", "2"}));
    EXPECT_EQ(platform::split_parameters(""), V{});
    testsupport::TempDir dir;
    EXPECT_FALSE(platform::spawn_process("sh", {"-c", "true"}).has_value());  // never from PATH
    EXPECT_EQ(platform::last_error(), ENOENT);
}

TEST(SystemInfo, WaylandSessionsWithXWaylandGetTheX11Window) {
    // QT_QPA_PLATFORM, WAYLAND_DISPLAY, DISPLAY -> the platform asked for
    const std::array<const char*, 4> cases[] = {
        {nullptr, "wayland-0", ":0", "xcb"},     {"", "wayland-0", ":0", "xcb"},
        {"wayland", "wayland-0", ":0", nullptr}, {nullptr, "wayland-0", nullptr, nullptr},
        {nullptr, nullptr, ":0", nullptr},       {nullptr, "", ":0", nullptr},
    };
    for (const auto& [qpa, wayland, x11, expected] : cases) {
        const char* chosen = platform::preferred_window_system(qpa, wayland, x11);
        EXPECT_STREQ(chosen, expected) << (qpa ? qpa : "-") << (wayland ? wayland : "-");
    }
}

}  // namespace
