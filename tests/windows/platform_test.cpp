// The Windows backend of the platform layer against the system (Wine here):
// file times and attributes, scratch files, files other programs hold,
// named events and the running-launcher marker across processes, finding,
// ending and starting programs.
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

// The file's last-access time in whole seconds since 1970; with `set`, made
// that first.
std::int64_t access_time(const fs::path& path, std::int64_t set = -1) {
    const HANDLE file = ::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES,
                                      FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    FILETIME accessed{};
    if (set >= 0) {
        const auto ticks = static_cast<std::uint64_t>(set) * 10000000 + 116444736000000000;
        accessed = {static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
        ::SetFileTime(file, nullptr, &accessed, nullptr);
    }
    ::GetFileTime(file, nullptr, &accessed, nullptr);
    ::CloseHandle(file);
    const auto ticks = (std::uint64_t{accessed.dwHighDateTime} << 32) | accessed.dwLowDateTime;
    return static_cast<std::int64_t>((ticks - 116444736000000000) / 10000000);
}

TEST(WindowsFiles, TimesSizesAndWhatIsNoFile) {
    testsupport::TempDir dir;
    write_bytes("a.pak", "x");
    ASSERT_EQ(access_time("a.pak", 1000000000), 1000000000);
    ASSERT_TRUE(platform::set_file_write_time("a.pak", 1709622489));
    EXPECT_EQ(access_time("a.pak"), 1000000000);
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

TEST(WindowsFiles, LauncherPathsReachTheFileSystemAsUnicode) {
    testsupport::TempDir dir;
    ASSERT_TRUE(platform::create_directory("data"));
    ASSERT_TRUE(platform::create_directory("data\\\xFE"));  // CP1254 "ş"
    auto file = platform::File::create_always("data\\\xFE/a.pak");
    ASSERT_TRUE(file.write_all("abc", 3));
    file.close();
    EXPECT_EQ(read_bytes(fs::path(L"data\\\u015F\\a.pak")), "abc");
    EXPECT_TRUE(platform::file_exists("data/\xFE"));
    EXPECT_TRUE(platform::delete_file("data\\\xFE\\a.pak"));
    EXPECT_FALSE(fs::exists(fs::path(L"data\\\u015F\\a.pak")));
}

TEST(WindowsFiles, ScratchFilesAreCutAndReadAtAnyOffsetAndResumedAtTheirEnd) {
    testsupport::TempDir dir;
    write_bytes("~temp.dat", "old and longer");
    auto file = platform::File::create_always("~temp.dat");
    ASSERT_TRUE(file.write_all("0123456789", 10));
    char buffer[4] = {};
    EXPECT_EQ(file.read_some_at(buffer, 4, 6), 4);
    EXPECT_EQ(std::string(buffer, 4), "6789");
    EXPECT_TRUE(file.write_all("ab", 2));  // where it was before the read
    std::uint64_t device = 0, inode = 0, device2 = 0, inode2 = 0;
    ASSERT_TRUE(file.identity(device, inode));
    file.close();
    EXPECT_EQ(read_bytes("~temp.dat"), "0123456789ab");

    auto resumed = platform::File::open_for_resume("~temp.dat");
    ASSERT_TRUE(resumed.valid());
    ASSERT_TRUE(resumed.identity(device2, inode2));
    EXPECT_EQ(device2, device);
    EXPECT_EQ(inode2, inode);
    EXPECT_EQ(resumed.read_some_at(buffer, 2, 0), 2);
    EXPECT_TRUE(resumed.write_all("cd", 2));  // at the end, whatever was read
    resumed.close();
    EXPECT_EQ(read_bytes("~temp.dat"), "0123456789abcd");

    fs::create_directory("d");
    EXPECT_FALSE(platform::File::open_for_resume("d").valid());
    EXPECT_FALSE(platform::File::create_always("d").valid());
}

// A link in the place of a scratch file is refused, not written through.
TEST(WindowsFiles, ScratchFilesRefuseSymlinks) {
    testsupport::TempDir dir;
    write_bytes("outside.txt", "keep");
    std::error_code ec;
    fs::create_symlink("outside.txt", "~temp.dat", ec);
    if (ec) GTEST_SKIP() << "no symbolic links here: " << ec.message();
    EXPECT_FALSE(platform::File::create_always("~temp.dat").valid());
    EXPECT_FALSE(platform::File::open_for_resume("~temp.dat").valid());
    EXPECT_EQ(read_bytes("outside.txt"), "keep");
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
    fs::create_directory("prefs.~new");  // the new file cannot be made
    EXPECT_FALSE(platform::write_file_whole("prefs", "four\r\n"));
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

}  // namespace
