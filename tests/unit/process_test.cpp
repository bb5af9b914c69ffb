#include "platform/process.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include "app/win32_event.h"
#include "platform/instance_marker.h"
#include "platform/last_error.h"
#include "platform/named_event.h"
#include "platform/system_info.h"
#include "support/files.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

std::string unique_name(const char* base) {
    return std::string(base) + "-test-" + std::to_string(::getpid());
}

int wait_status(pid_t pid) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    return status;
}

bool wait_until(const std::function<bool()>& condition) {
    for (int i = 0; i < 500; ++i) {
        if (condition()) return true;
        std::this_thread::sleep_for(10ms);
    }
    return false;
}

TEST(InstanceMarker, RefusesASecondHolderAndIsFreedWhenTheHolderIsKilled) {
    const std::string name = unique_name("valdora_patcher");
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t holder = ::fork();
    if (holder == 0) {
        auto marker = platform::InstanceMarker::acquire(name);
        const char ok = marker ? '1' : '0';
        (void)!::write(ready[1], &ok, 1);
        ::pause();
        ::_exit(0);
    }
    char ok = 0;
    ASSERT_EQ(::read(ready[0], &ok, 1), 1);
    ASSERT_EQ(ok, '1');

    EXPECT_TRUE(platform::InstanceMarker::is_held(name));
    EXPECT_EQ(platform::InstanceMarker::acquire(name), nullptr);
    EXPECT_NO_THROW(win32_event(win32_event::open_t{}, name));

    ::kill(holder, SIGKILL);
    wait_status(holder);
    EXPECT_FALSE(platform::InstanceMarker::is_held(name));
    EXPECT_THROW(
        try { win32_event(win32_event::open_t{}, name); } catch (const std::runtime_error& e) {
            EXPECT_STREQ(e.what(), "win32_event: OpenEvent failed");
            throw;
        },
        std::runtime_error);
    {
        win32_event mine(win32_event::create_t{}, name);
        EXPECT_TRUE(mine.holds());
        EXPECT_TRUE(platform::InstanceMarker::is_held(name));
    }
    EXPECT_FALSE(platform::InstanceMarker::is_held(name));
    ::close(ready[0]);
    ::close(ready[1]);
}

TEST(NamedEvent, SignalledByAnotherProcessThatKnowsOnlyItsName) {
    const std::string name = unique_name("trovhal");
    auto event = platform::NamedEvent::create(name);
    ASSERT_NE(event, nullptr);

    const auto signaller =
        platform::spawn_process(SIGNAL_EVENT_HELPER, std::vector<std::string>{name});
    ASSERT_TRUE(signaller.has_value());
    EXPECT_TRUE(event->wait_for(20s));
    EXPECT_EQ(wait_status(*signaller), 0);
    // Manual reset: it stays signalled.
    EXPECT_TRUE(event->wait_for(0ms));
}

TEST(NamedEvent, WaitEndsByTimeoutWhenNobodySignals) {
    const std::string name = unique_name("trovhal-quiet");
    auto event = platform::NamedEvent::create(name);
    ASSERT_NE(event, nullptr);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(event->wait_for(150ms));
    EXPECT_GE(std::chrono::steady_clock::now() - start, 150ms);
}

TEST(NamedEvent, CreatorRemovesTheNameAndStaleEventsAreReplaced) {
    const std::string name = unique_name("trovhal-stale");
    {
        auto first = platform::NamedEvent::create(name);
        ASSERT_NE(first, nullptr);
        auto opener = platform::NamedEvent::open(name);
        ASSERT_NE(opener, nullptr);
        opener->signal();
        // A creator that finds a signalled leftover starts fresh.
        auto second = platform::NamedEvent::create(name);
        ASSERT_NE(second, nullptr);
        EXPECT_FALSE(second->wait_for(0ms));
    }
    EXPECT_EQ(platform::NamedEvent::open(name), nullptr);
}

class OlderLauncher : public ::testing::Test {
protected:
    pid_t start_copy(const std::string& fileName, const char* mode) {
        const fs::path copy = dir_.path() / fileName;
        fs::copy_file(LAUNCHER_STAND_IN, copy, fs::copy_options::overwrite_existing);
        const auto pid = platform::spawn_process(copy.string(), {mode});
        EXPECT_TRUE(pid.has_value());
        // Wait until the copy runs under its own name.
        EXPECT_TRUE(
            wait_until([&] { return platform::process_executable_name(*pid) == fileName; }));
        return pid.value_or(-1);
    }
    testsupport::TempDir dir_;
};

TEST_F(OlderLauncher, EndsExactlyLauncherExeAndNeverItself) {
    const pid_t older = start_copy("launcher.exe", "idle");
    const pid_t otherCase = start_copy("Launcher.exe", "idle");
    // The new launcher, itself named launcher.exe, ends the older one.
    fs::create_directory(dir_.path() / "new");
    const fs::path newer = dir_.path() / "new" / "launcher.exe";
    fs::copy_file(LAUNCHER_STAND_IN, newer);
    const auto self = platform::spawn_process(newer.string(), {"end-older"});
    ASSERT_TRUE(self.has_value());

    const int newerStatus = wait_status(*self);
    EXPECT_TRUE(WIFEXITED(newerStatus) && WEXITSTATUS(newerStatus) == 0) << newerStatus;
    const int olderStatus = wait_status(older);
    EXPECT_TRUE(WIFSIGNALED(olderStatus) && WTERMSIG(olderStatus) == SIGKILL);
    EXPECT_TRUE(platform::process_alive(otherCase));

    ::kill(otherCase, SIGKILL);
    wait_status(otherCase);
}

TEST(Process, SplitParametersAtBlanks) {
    using V = std::vector<std::string>;
    EXPECT_EQ(platform::split_parameters("A B 2"), (V{"A", "B", "2"}));
    EXPECT_EQ(platform::split_parameters("  my server  x 2 "), (V{"my", "server", "x", "2"}));
    EXPECT_EQ(platform::split_parameters("\"a b\" c"), (V{"\"a", "b\"", "c"}));
    EXPECT_EQ(platform::split_parameters(""), V{});
}

TEST(Process, SpawnFailureReportsTheSystemError) {
    testsupport::TempDir dir;
    EXPECT_FALSE(platform::spawn_process("launch_helper.exe", {}).has_value());
    EXPECT_EQ(platform::last_error(), ENOENT);
    EXPECT_FALSE(platform::error_text(ENOENT).empty());
    // A bare name is never looked up on PATH.
    EXPECT_FALSE(platform::spawn_process("sh", {"-c", "true"}).has_value());
}

TEST(SystemInfo, TotalMemorySaturatesAt4GiBInsteadOfWrapping) {
    constexpr std::uint64_t GiB = std::uint64_t{1} << 30;
    EXPECT_EQ(platform::saturate_to_u32(8 * GiB), 0xFFFFFFFFu);
    EXPECT_EQ(platform::saturate_to_u32(4 * GiB), 0xFFFFFFFFu);
    EXPECT_EQ(platform::saturate_to_u32(4 * GiB - 1), 0xFFFFFFFFu);
    EXPECT_EQ(platform::saturate_to_u32(1 * GiB), 1u << 30);
    EXPECT_EQ(platform::saturate_to_u32(0), 0u);
    // Whatever this machine has, it reads as at least its RAM below 4 GiB.
    EXPECT_GE(platform::total_physical_memory() / (1024 * 1024), 300u);
}

}  // namespace
