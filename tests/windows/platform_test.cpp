// The Windows backend of the platform layer against the system (Wine here):
// file times and attributes, scratch files, files other programs hold,
// named events and the running-launcher marker across processes, finding,
// ending and starting programs, launch_helper.exe's hand-over.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/file.h"
#include "platform/instance_marker.h"
#include "platform/last_error.h"
#include "platform/named_event.h"
#include "platform/process.h"
#include "support/files.h"
#include "support/launcher_log.h"
#include "support/process.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testsupport::read_bytes;
using testsupport::write_bytes;

namespace {

std::string unique_name(const char* base) {
    return std::string(base) + "-test-" + std::to_string(::GetCurrentProcessId());
}

ULONGLONG access_time(const wchar_t* path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    ::GetFileAttributesExW(path, GetFileExInfoStandard, &data);
    return ULARGE_INTEGER{
        {data.ftLastAccessTime.dwLowDateTime, data.ftLastAccessTime.dwHighDateTime}}
        .QuadPart;
}

TEST(WindowsFiles, TimesSizesAndWhatIsNoFile) {
    testsupport::TempDir dir;
    write_bytes("a.pak", "x");
    const ULONGLONG accessed = access_time(L"a.pak");
    ASSERT_TRUE(platform::set_file_write_time("a.pak", 1709622489));
    EXPECT_EQ(access_time(L"a.pak"), accessed);
    std::int64_t read = 0;
    ASSERT_TRUE(platform::File::open_for_attributes("a.pak").last_write_time(read));
    EXPECT_EQ(read, 1709622489);
    ASSERT_TRUE(platform::File::open_for_reading("a.pak").last_write_time(read));
    EXPECT_EQ(read, 1709622489);
    EXPECT_EQ(testsupport::write_time("a.pak"), 1709622489);

    // A file beyond 4 GiB reads as its low 32 bits, through both lookups.
    fs::resize_file("a.pak", (std::uint64_t{1} << 32) + 10);
    std::uint32_t low = 0;
    ASSERT_TRUE(platform::File::open_for_attributes("a.pak").size_low32(low));
    EXPECT_EQ(low, 10u);
    int error = 0;
    fs::create_directories("data/maps");
    write_bytes("data/maps/x.map", "map");
    platform::AttributeReader reader;
    ASSERT_TRUE(reader.open("a.pak", error).size_low32(low));
    EXPECT_EQ(low, 10u);
    std::uint64_t size = 0;
    ASSERT_TRUE(reader.open("data\\maps\\x.map", error).size(size));
    EXPECT_EQ(size, 3u);

    // A folder is no file; a missing file or folder is "not found".
    EXPECT_FALSE(platform::File::open_for_attributes("data").valid());
    EXPECT_FALSE(reader.open("data", error).valid());
    for (const char* missing : {"missing.pak", "none\\missing.pak"}) {
        EXPECT_FALSE(platform::File::open_for_attributes(missing).valid());
        EXPECT_TRUE(platform::is_not_found(platform::last_error())) << platform::last_error();
        EXPECT_FALSE(reader.open(missing, error).valid());
        EXPECT_TRUE(platform::is_not_found(error)) << error;
    }
}

// A file another program holds without sharing keeps its bytes (its times
// are attributes, which sharing does not guard), and a failed replacement
// leaves both files as they were.
TEST(WindowsFiles, FilesOtherProgramsHoldAndFailuresChangeNothing) {
    testsupport::TempDir dir;
    write_bytes("game.pak", "in use");
    platform::set_file_write_time("game.pak", 1577872800);
    const HANDLE held = ::CreateFileW(L"game.pak", GENERIC_READ, FILE_SHARE_READ, nullptr,
                                      OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    write_bytes("~temp.dat", "new");
    EXPECT_FALSE(platform::replace_file("~temp.dat", "game.pak"));
    EXPECT_FALSE(platform::File::open_for_append("game.pak").valid());
    ::CloseHandle(held);
    EXPECT_EQ(read_bytes("game.pak"), "in use");
    EXPECT_EQ(testsupport::write_time("game.pak"), 1577872800);
    EXPECT_EQ(read_bytes("~temp.dat"), "new");

    // Free again: replaced in one step, with the new file's time.
    platform::set_file_write_time("~temp.dat", 1709622489);
    ASSERT_TRUE(platform::replace_file("~temp.dat", "game.pak"));
    EXPECT_EQ(read_bytes("game.pak"), "new");
    EXPECT_EQ(testsupport::write_time("game.pak"), 1709622489);
    EXPECT_FALSE(fs::exists("~temp.dat"));

    // A folder in the target's place, or a missing source, fails as a whole.
    fs::create_directory("d");
    write_bytes("~temp.dat", "x");
    EXPECT_FALSE(platform::replace_file("~temp.dat", "d"));
    EXPECT_FALSE(platform::copy_file("~temp.dat", "d"));
    EXPECT_FALSE(platform::copy_file("missing", "game.pak"));
    EXPECT_EQ(read_bytes("~temp.dat") + read_bytes("game.pak"), "xnew");
    EXPECT_EQ(std::distance(fs::directory_iterator("."), {}), 3);  // no scratch left

    ASSERT_TRUE(platform::copy_file("~temp.dat", "copy.pak"));
    EXPECT_EQ(read_bytes("copy.pak"), "x");
    EXPECT_TRUE(platform::make_executable("copy.pak"));
}

// The settings' writer: whole files or none, and never over a read-only one.
TEST(WindowsFiles, WholeFilesReplaceTheOldOneButNotAReadOnlyOne) {
    testsupport::TempDir dir;
    ASSERT_TRUE(platform::write_file_whole("prefs", "one\r\n"));
    ASSERT_TRUE(platform::write_file_whole("prefs", "two\r\n"));
    EXPECT_EQ(read_bytes("prefs"), "two\r\n");
    ::SetFileAttributesW(L"prefs", FILE_ATTRIBUTE_READONLY);
    EXPECT_FALSE(platform::write_file_whole("prefs", "three\r\n"));
    ::SetFileAttributesW(L"prefs", FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(read_bytes("prefs"), "two\r\n");
}

// The game's start handshake across processes; a stale event of the same
// name is not signalled for a new start; the name goes with its last holder.
TEST(WindowsEvents, AnotherProcessSignalsByNameAndTheNameGoesWithItsHolders) {
    const std::string name = unique_name("trovhal");
    auto event = platform::NamedEvent::create(name);
    ASSERT_NE(event, nullptr);
    EXPECT_FALSE(event->wait_for(0ms));
    testsupport::Child helper({PLATFORM_HELPER, "signal", name}, ".");
    EXPECT_EQ(helper.wait_for(20s), 0);
    EXPECT_TRUE(event->wait_for(20s));
    EXPECT_TRUE(event->wait_for(0ms));  // manual reset
    EXPECT_FALSE(platform::NamedEvent::create(name)->wait_for(0ms));
    event.reset();
    EXPECT_EQ(platform::NamedEvent::open(name), nullptr);
    testsupport::Child late({PLATFORM_HELPER, "signal", name}, ".");
    EXPECT_EQ(late.wait_for(20s), 1);
}

TEST(WindowsEvents, OneMarkerHolderAtATimeFreedWhenTheHolderIsKilled) {
    const std::string name = unique_name("valdora_patcher");
    testsupport::Child holder({PLATFORM_HELPER, "hold", name}, ".");
    ASSERT_TRUE(testsupport::wait_until([&] { return platform::InstanceMarker::is_held(name); }));
    EXPECT_EQ(platform::InstanceMarker::acquire(name), nullptr);
    holder.kill();
    EXPECT_EQ(holder.wait_for(20s), testsupport::kKilled);
    const auto mine = platform::InstanceMarker::acquire(name);
    EXPECT_NE(mine, nullptr);
    EXPECT_TRUE(platform::InstanceMarker::is_held(name));
}

// Only a launcher started before this one is older; the one found is ended
// with the code 259 (STILL_ACTIVE) and is gone when that returns.
TEST(WindowsProcesses, AnOlderLauncherIsFoundByItsNameAndEnded) {
    testsupport::TempDir dir;
    fs::copy_file(PLATFORM_HELPER, dir.path() / "launcher.exe");
    testsupport::Child child({(dir.path() / "launcher.exe").string(), "stay"}, dir.path());
    const pid_t later = child.pid();
    ASSERT_TRUE(testsupport::wait_until(
        [&] { return platform::process_executable_name(later) == "launcher.exe"; }));
    EXPECT_EQ(platform::process_name(later), "launcher.exe");
    EXPECT_EQ(platform::find_other_process("launcher.exe"), later);
    EXPECT_EQ(platform::find_other_process("Launcher.exe"), std::nullopt);  // case counts
    EXPECT_EQ(platform::find_other_process("launcher.exe", true), std::nullopt);
    EXPECT_TRUE(platform::process_alive(later));
    EXPECT_TRUE(platform::terminate_process(later));
    EXPECT_FALSE(platform::process_alive(later));
    EXPECT_EQ(platform::find_other_process("launcher.exe"), std::nullopt);
    EXPECT_EQ(child.wait_for(20s), 259);
}

// Programs come from the current folder alone, get their arguments word for
// word, and none of the starter's handles.
TEST(WindowsProcesses, ProgramsComeFromTheCurrentFolderWithTheirWordsAndNoHandles) {
    testsupport::TempDir dir;
    EXPECT_FALSE(platform::spawn_process("cmd.exe", {"/c", "exit"}).has_value());  // not PATH's
    EXPECT_TRUE(platform::is_not_found(platform::last_error())) << platform::last_error();

    fs::copy_file(PLATFORM_HELPER, "helper.exe");
    const std::vector<std::string> words = {"10.0.0.1", "a b", "x\"y", "c:\\dir\\", "", "2"};
    std::vector<std::string> args = {"args", "args.txt"};
    args.insert(args.end(), words.begin(), words.end());
    const auto started = platform::spawn_process("helper.exe", args);
    ASSERT_TRUE(started.has_value());
    ASSERT_TRUE(testsupport::wait_until([&] { return !platform::process_alive(*started); }));
    std::string expected;
    for (const std::string& w : words) expected += w + "\n";
    EXPECT_EQ(read_bytes("args.txt"), expected);

    SECURITY_ATTRIBUTES inherited{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    const HANDLE event = ::CreateEventW(&inherited, TRUE, FALSE, nullptr);
    const auto value = std::to_string(reinterpret_cast<std::uintptr_t>(event));
    const auto checker = platform::spawn_process("helper.exe", {"handle", value, "held.txt"});
    ASSERT_TRUE(checker.has_value());
    ASSERT_TRUE(testsupport::wait_until([&] { return !platform::process_alive(*checker); }));
    ::CloseHandle(event);
    EXPECT_EQ(read_bytes("held.txt"), "none");
}

// launch_helper.exe waits for the launcher that started it to end (a
// running program's file cannot be replaced on Windows), installs
// "_launcher.dll" as "launcher.exe" and starts it; when the file cannot be
// replaced, the old launcher starts once with -test_launcher.
TEST(LaunchHelper, InstallsTheUpdateOnceTheLauncherHasEndedOrStartsTheOldOneOnce) {
    for (const bool held : {false, true}) {
        SCOPED_TRACE(held ? "launcher.exe held by another program" : "launcher.exe free");
        testsupport::TempDir dir;
        fs::copy_file(LAUNCH_HELPER, "launch_helper.exe");
        fs::copy_file(PLATFORM_HELPER, "launcher.exe");
        // The new launcher: the same program with other bytes at its end.
        const std::string update = read_bytes(PLATFORM_HELPER) + "version 2";
        write_bytes("_launcher.dll", update);
        // Held without leave to replace it, as a scanner or a still-ending program may.
        const HANDLE holder = held ? ::CreateFileW(L"launcher.exe", GENERIC_READ, FILE_SHARE_READ,
                                                   nullptr, OPEN_EXISTING, 0, nullptr)
                                   : INVALID_HANDLE_VALUE;

        testsupport::Child old({(dir.path() / "launcher.exe").string(), "handover"}, dir.path());
        ASSERT_TRUE(testsupport::wait_until([] { return fs::exists("launcher_args.txt"); }, 30s));
        // Started only after the old one had ended.
        EXPECT_TRUE(old.wait_for(0ms).has_value());
        EXPECT_EQ(read_bytes("launcher_args.txt"), held ? "-test_launcher\n" : "");
        EXPECT_EQ(read_bytes("launcher.exe") == update, !held);
        const auto log = testsupport::log_messages(".");
        ASSERT_FALSE(log.empty());
        EXPECT_EQ(log[0].rfind(held ? "launch_helper: launcher.exe g\xFCncellenemedi: "
                                    : "launch_helper: _launcher.dll, launcher.exe olarak",
                               0),
                  0u)
            << log[0];
        if (held) ::CloseHandle(holder);
    }
}

}  // namespace
