// The Windows backend of the platform layer against the system (Wine here):
// files other programs hold, named events and the running-launcher marker
// across processes, finding, ending and starting programs, and
// launch_helper.exe's hand-over.
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
#include "platform/win32/windows_util.h"
#include "support/files.h"
#include "support/process.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testsupport::read_bytes;
using testsupport::write_bytes;

namespace {

const std::string kSuffix = "-test-" + std::to_string(::GetCurrentProcessId());

// A file another program holds without sharing keeps its bytes (sharing does
// not guard its times), and a failed replacement leaves both as they were.
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

    // A folder in the target's place, or a missing source, fails as a whole.
    fs::create_directory("d");
    write_bytes("~temp.dat", "x");
    EXPECT_FALSE(platform::replace_file("~temp.dat", "d"));
    EXPECT_FALSE(platform::copy_file("~temp.dat", "d"));
    EXPECT_FALSE(platform::copy_file("missing", "game.pak"));
    EXPECT_EQ(read_bytes("~temp.dat") + read_bytes("game.pak"), "xin use");
    EXPECT_EQ(std::distance(fs::directory_iterator("."), {}), 3);  // no scratch left
    EXPECT_FALSE(platform::File::create_always("d\\..\\..\\outside.pak").valid());  // beneath
    EXPECT_EQ(platform::last_error(), ERROR_NOT_SAME_DEVICE);
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

// Paths of more than 259 characters: a game folder deep enough that its
// files' paths are longer, and every file operation of the layer on them.
TEST(WindowsFiles, PathsBeyond259CharactersWork) {
    testsupport::TempDir dir;
    std::vector<std::string> folders;
    std::string folder;
    for (char c = 'a'; c < 'g'; ++c) {
        folder += std::string(50, c);
        ASSERT_TRUE(platform::create_directory(folder)) << folder.size();
        folders.push_back(folder);
        folder += "\\";
    }
    const std::string file = folder + "game.pak", copy = folder + "copy.pak";
    ASSERT_GT(dir.path().native().size() + file.size(), 300u);
    // Wine takes long paths in any form; Windows (without long paths turned
    // on) only in the "\\?\" form, which is what the layer hands it.
    EXPECT_EQ(platform::win32::wide_path(file).rfind(L"\\\\?\\", 0), 0u);
    EXPECT_EQ(platform::win32::wide_path("a\\b.pak"), L"a/b.pak");
    ASSERT_TRUE(platform::File::create_always(file).write_all("abc", 3));
    EXPECT_TRUE(platform::set_file_write_time(file, 1577872800));
    std::int64_t time = 0;
    std::uint64_t size = 0;
    const platform::File attributes = platform::File::open_for_attributes(file);
    EXPECT_TRUE(attributes.last_write_time(time) && attributes.size(size));
    EXPECT_EQ(time, 1577872800);
    EXPECT_EQ(size, 3u);
    int error = 0;
    EXPECT_TRUE(platform::AttributeReader().open(file, error).valid()) << error;
    EXPECT_TRUE(platform::copy_file(file, copy));
    EXPECT_TRUE(platform::write_file_whole(file, "new"));
    EXPECT_TRUE(platform::replace_file(file, copy));
    std::string bytes;
    EXPECT_TRUE(platform::read_file(copy, bytes));
    EXPECT_EQ(bytes, "new");
    EXPECT_TRUE(platform::delete_file(copy));
    EXPECT_FALSE(platform::file_exists(file) || platform::file_exists(copy));
    for (auto f = folders.rbegin(); f != folders.rend(); ++f) {
        EXPECT_TRUE(::RemoveDirectoryW(platform::win32::wide_path(*f).c_str())) << f->size();
    }
}

// Stamping a link never stamps the file it leads to (as utimensat without
// following on POSIX): Windows stamps the link itself.
TEST(WindowsFiles, AFileTimeIsNeverSetThroughALink) {
    testsupport::TempDir dir;
    write_bytes("target.pak", "t");
    ASSERT_TRUE(platform::set_file_write_time("target.pak", 1577872800));
    // Wine 8 answers success and makes nothing.
    if (!::CreateSymbolicLinkW(L"link.pak", L"target.pak",
                               SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE) ||
        (::GetFileAttributesW(L"link.pak") & FILE_ATTRIBUTE_REPARSE_POINT) == 0 ||
        ::GetFileAttributesW(L"link.pak") == INVALID_FILE_ATTRIBUTES) {
        GTEST_SKIP() << "no symbolic link can be made here";
    }
    const bool stamped = platform::set_file_write_time("link.pak", 1709622489);
    EXPECT_EQ(testsupport::write_time("target.pak"), 1577872800) << stamped;
}

// The game's start handshake across processes; a stale event of the same
// name is not signalled for a new start; the name goes with its last holder.
TEST(WindowsEvents, AnotherProcessSignalsByNameAndTheNameGoesWithItsHolders) {
    const std::string name = "trovhal" + kSuffix;
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
}

TEST(WindowsEvents, OneMarkerHolderAtATimeFreedWhenTheHolderIsKilled) {
    const std::string name = "valdora_patcher" + kSuffix;
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
    // Wine may take its time to start the first program of a fresh prefix.
    ASSERT_TRUE(testsupport::wait_until(
        [&] { return platform::process_executable_name(later) == "launcher.exe"; }, 60s));
    EXPECT_EQ(platform::find_other_process("launcher.exe"), later);
    EXPECT_EQ(platform::find_other_process("Launcher.exe"), std::nullopt);  // case counts
    EXPECT_EQ(platform::find_other_process("launcher.exe", true), std::nullopt);
    EXPECT_TRUE(platform::terminate_process(later));
    EXPECT_FALSE(platform::process_alive(later));
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
    const auto started = platform::spawn_process("helper.exe", words);
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
        ASSERT_TRUE(testsupport::wait_until([] { return fs::exists("args.txt"); }, 30s));
        // Started only after the old one had ended.
        EXPECT_TRUE(old.wait_for(0ms).has_value());
        EXPECT_EQ(read_bytes("args.txt"), held ? "-test_launcher\n" : "");
        EXPECT_EQ(read_bytes("launcher.exe") == update, !held);
        EXPECT_NE(
            read_bytes("base/launcher_log.txt")
                .find(held ? "launcher.exe g\xFCncellenemedi" : "launcher.exe olarak kuruldu"),
            std::string::npos);
        if (held) ::CloseHandle(holder);
    }
}

}  // namespace
