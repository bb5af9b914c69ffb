#include "platform/process.h"

#include <gtest/gtest.h>

#include "platform/instance_marker.h"
#include "platform/last_error.h"
#include "platform/named_event.h"
#include "platform/system_info.h"
#include "platform/win32_event.h"
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

TEST(InstanceMarker, RefusesASecondHolderAndIsFreedWhenTheHolderIsKilled) {
    const std::string name = unique_name("valdora_patcher");
    const pid_t holder = ::fork();
    if (holder == 0) {
        if (const auto marker = platform::InstanceMarker::acquire(name)) ::pause();
        ::_exit(1);
    }
    ASSERT_TRUE(wait_until([&] { return platform::InstanceMarker::is_held(name); }));
    EXPECT_EQ(platform::InstanceMarker::acquire(name), nullptr);
    EXPECT_NO_THROW(win32_event(win32_event::open_t{}, name));

    ::kill(holder, SIGKILL);
    EXPECT_EQ(reap(holder, 20s), 128 + SIGKILL);
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
}

TEST(NamedEvent, WaitEndsByTimeoutUntilAProcessThatKnowsOnlyItsNameSignalsIt) {
    const std::string name = unique_name("trovhal");
    auto event = platform::NamedEvent::create(name);
    ASSERT_NE(event, nullptr);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(event->wait_for(150ms));
    EXPECT_GE(std::chrono::steady_clock::now() - start, 150ms);

    const auto signaller =
        platform::spawn_process(LAUNCHER_STAND_IN, std::vector<std::string>{"signal", name});
    ASSERT_TRUE(signaller.has_value());
    EXPECT_TRUE(event->wait_for(20s));
    EXPECT_EQ(reap(*signaller, 20s), 0);
    // Manual reset: it stays signalled.
    EXPECT_TRUE(event->wait_for(0ms));
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

TEST(OlderLauncher, EndsExactlyLauncherExeAndNeverItself) {
    testsupport::TempDir dir;
    const auto start = [&](const std::string& fileName, const char* mode) {
        fs::create_directories((dir.path() / fileName).parent_path());
        fs::copy_file(LAUNCHER_STAND_IN, dir.path() / fileName);
        return platform::spawn_process((dir.path() / fileName).string(), {mode}).value();
    };
    const pid_t older = start("launcher.exe", "idle"), otherCase = start("Launcher.exe", "idle");
    ASSERT_TRUE(wait_until([&] {  // both run under their own names
        return platform::process_executable_name(older) == "launcher.exe" &&
               platform::process_executable_name(otherCase) == "Launcher.exe";
    }));
    // The new launcher, itself named launcher.exe, ends the older one.
    EXPECT_EQ(reap(start("new/launcher.exe", "end-older"), 20s), 0);
    EXPECT_EQ(reap(older, 20s), 128 + SIGKILL);
    EXPECT_TRUE(platform::process_alive(otherCase));
    ::kill(otherCase, SIGKILL);
    reap(otherCase, 20s);
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
