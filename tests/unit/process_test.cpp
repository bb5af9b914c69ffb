#include "platform/process.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <thread>

#include "platform/instance_marker.h"
#include "platform/last_error.h"
#include "platform/named_event.h"
#include "platform/system_info.h"
#include "platform/win32_event.h"
#include "support/process.h"
#include "support/temp_dir.h"

using namespace std::chrono_literals;
using testsupport::reap;

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
    ASSERT_TRUE(testsupport::wait_until([&] { return platform::InstanceMarker::is_held(name); }));
    EXPECT_EQ(platform::InstanceMarker::acquire(name), nullptr);
    ::kill(holder, SIGKILL);
    EXPECT_EQ(reap(holder, 20s), 128 + SIGKILL);
    EXPECT_NE(platform::InstanceMarker::acquire(name), nullptr);

    // Another launcher asking whether the marker is held never makes it
    // look held to one taking it.
    std::atomic<bool> done = false;
    std::thread asker([&] {
        while (!done) platform::InstanceMarker::is_held(name);
    });
    int refused = 0;
    for (int i = 0; i < 3000; ++i) refused += platform::InstanceMarker::acquire(name) == nullptr;
    done = true;
    asker.join();
    EXPECT_EQ(refused, 0);
}

// Lock files live only where no one else can write: a runtime folder others
// may change is passed over.
TEST(InstanceMarker, ARuntimeFolderOthersCanChangeIsNotUsed) {
    testsupport::TempDir dir;
    const char* before = std::getenv("XDG_RUNTIME_DIR");
    const std::string saved = before ? before : "";
    for (const auto& [mode, used] : {std::pair{0700, true}, {0777, false}, {0720, false}}) {
        ::chmod(dir.path().c_str(), static_cast<mode_t>(mode));
        ::setenv("XDG_RUNTIME_DIR", dir.path().c_str(), 1);
        EXPECT_EQ(platform::runtime_directory() == dir.path().string(), used) << mode;
    }
    before ? ::setenv("XDG_RUNTIME_DIR", saved.c_str(), 1) : ::unsetenv("XDG_RUNTIME_DIR");
}

// Only a launcher started before this one is older; a later one is not. And
// only one of this user in this directory is ours to end: not one in another
// folder, nor another user's.
TEST(Process, AnOlderLauncherIsOneOfOursStartedBeforeUs) {
    testsupport::TempDir dir;
    std::filesystem::permissions(dir.path(), std::filesystem::perms(0755));
    std::filesystem::create_directory("other");
    std::filesystem::copy_file("/bin/sleep", dir.path() / "launcher.exe");
    testsupport::Child there({"../launcher.exe", "30"}, dir.path() / "other");
    testsupport::Child theirs(
        {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "./launcher.exe", "30"},
        dir.path());
    testsupport::Child child({"./launcher.exe", "30"}, dir.path());
    const pid_t later = child.pid();
    ASSERT_TRUE(testsupport::wait_until([&] {
        return platform::process_executable_name(later) == "launcher.exe" &&
               platform::process_executable_name(there.pid()) == "launcher.exe" &&
               (::geteuid() != 0 ||
                platform::process_executable_name(theirs.pid()) == "launcher.exe");
    }));
    EXPECT_EQ(platform::find_other_process("launcher.exe"), there.pid());
    EXPECT_EQ(platform::find_other_process("launcher.exe", false, true), later);
    EXPECT_EQ(platform::find_other_process("launcher.exe", true, true), std::nullopt);
    EXPECT_TRUE(platform::terminate_process(later));
    EXPECT_FALSE(platform::process_alive(later));  // gone when it returns
    // Ended, not yet reaped: no launcher of ours to look for any more, but
    // still its name (a launcher that hands over is waited for until it is gone).
    EXPECT_EQ(platform::find_other_process("launcher.exe", false, true), std::nullopt);
    EXPECT_EQ(platform::process_name(later), "launcher.exe");
    EXPECT_EQ(child.wait_for(20s), 128 + SIGKILL);
}

// The game's start handshake: another process that knows only the name
// signals; a stale event of the same name is replaced, and the creator
// removes the name.
TEST(NamedEvent, AnotherProcessSignalsByNameAndTheCreatorRemovesIt) {
    const std::string name = unique_name("trovhal");
    auto event = platform::NamedEvent::create(name);
    ASSERT_NE(event, nullptr);
    EXPECT_FALSE(event->wait_for(0ms));
    testsupport::run_in_child([&] { platform::NamedEvent::open(name)->signal(); });
    EXPECT_TRUE(event->wait_for(20s));
    EXPECT_TRUE(event->wait_for(0ms));  // manual reset
    EXPECT_FALSE(platform::NamedEvent::create(name)->wait_for(0ms));
    event.reset();
    EXPECT_EQ(platform::NamedEvent::open(name), nullptr);
}

TEST(Process, ParametersSplitAtBlanksAndProgramsComeFromTheCurrentDirectoryOnly) {
    using V = std::vector<std::string>;
    EXPECT_EQ(platform::split_parameters(" my  server \"x\" 2 "),
              (V{"my", "server", "\"x\"", "2"}));
    testsupport::TempDir dir;
    EXPECT_FALSE(platform::spawn_process("sh", {"-c", "true"}).has_value());  // never from PATH
    EXPECT_EQ(platform::last_error(), ENOENT);
}

// A started program (the game, launch_helper.exe, the launcher after an
// update) holds none of the starter's files open.
TEST(Process, AStartedProgramGetsNoneOfTheStartersFiles) {
    testsupport::TempDir dir;
    int pipe[2];
    ASSERT_EQ(::pipe(pipe), 0);  // without close-on-exec, as the web engine's sockets are
    ASSERT_EQ(::dup2(pipe[1], 100), 100);
    const auto child = platform::spawn_process(
        "/bin/sh", {"-c", "[ -e /proc/self/fd/100 ] && echo held >held; echo >done"});
    ::close(pipe[0]), ::close(pipe[1]), ::close(100);
    ASSERT_TRUE(child.has_value());
    EXPECT_EQ(reap(*child, 10s), 0);
    EXPECT_TRUE(std::filesystem::exists("done"));
    EXPECT_FALSE(std::filesystem::exists("held"));
}

TEST(SystemInfo, WaylandSessionsWithXWaylandGetTheX11Window) {
    // QT_QPA_PLATFORM, WAYLAND_DISPLAY, DISPLAY -> the platform asked for
    const std::array<const char*, 4> cases[] = {
        {nullptr, "wayland-0", ":0", "xcb"},
        {"", "wayland-0", ":0", "xcb"},
        {"wayland", "wayland-0", ":0", nullptr},
        {nullptr, "wayland-0", nullptr, nullptr},
        {nullptr, "", ":0", nullptr},
    };
    for (const auto& [qpa, wayland, x11, expected] : cases) {
        EXPECT_STREQ(platform::preferred_window_system(qpa, wayland, x11), expected) << wayland;
    }
}

}  // namespace
