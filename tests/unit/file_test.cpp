#include "platform/file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <tuple>

#include "platform/file_time.h"
#include "platform/last_error.h"
#include "support/files.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;
using testsupport::read_bytes;
using testsupport::write_bytes;

namespace {

TEST(File, TimesAreUtcWhateverTheTimeZoneAndTheAccessTimeStays) {
    testsupport::TempDir dir;
    write_bytes("a.pak", "x");
    struct timespec times[2] = {{1000000000, 0}, {1000000000, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, "a.pak", times, 0), 0);
    for (const char* tz : {"Europe/Istanbul", "Pacific/Chatham", "<-14>14", "UTC"}) {
        ::setenv("TZ", tz, 1);
        ::tzset();
        platform::SystemTime t;
        t.day = 5, t.month = 3, t.year = 2024, t.hour = 7, t.minute = 8, t.second = 9;
        std::int64_t seconds = 0, read = 0;
        ASSERT_TRUE(platform::system_time_to_unix(t, seconds));
        ASSERT_TRUE(platform::set_file_write_time("a.pak", seconds));
        ASSERT_TRUE(platform::File::open_for_attributes("a.pak").last_write_time(read));
        EXPECT_EQ(read, 1709622489) << tz;
    }
    struct stat st;
    ASSERT_EQ(::stat("a.pak", &st), 0);
    EXPECT_EQ(st.st_atim.tv_sec, 1000000000);

    // The calendar's 29 Februaries: 2000 and 2024 have one, 2100 and 2023 none.
    for (const auto& [day, month, year, valid] : {std::tuple{29, 2, 2000, true},
                                                  {29, 2, 2024, true},
                                                  {29, 2, 2100, false},
                                                  {29, 2, 2023, false},
                                                  {31, 4, 2024, false},
                                                  {1, 3, 2100, true}}) {
        platform::SystemTime t;
        t.day = day, t.month = month, t.year = year;
        std::int64_t seconds = 0;
        EXPECT_EQ(platform::system_time_to_unix(t, seconds), valid)
            << day << "." << month << "." << year;
        std::tm utc{};
        utc.tm_mday = day, utc.tm_mon = month - 1, utc.tm_year = year - 1900;
        if (valid) {
            EXPECT_EQ(seconds, ::timegm(&utc)) << year;
        }
    }

    // A sparse file beyond 4 GiB reads as its low 32 bits; a directory is no
    // file, a FIFO is one (and must not hang the check).
    ASSERT_EQ(::truncate("a.pak", (std::int64_t{1} << 32) + 10), 0);
    std::uint32_t low = 0;
    ASSERT_TRUE(platform::File::open_for_attributes("a.pak").size_low32(low));
    EXPECT_EQ(low, 10u);
    fs::create_directory("data");
    ASSERT_EQ(::mkfifo("pipe", 0644), 0);
    EXPECT_FALSE(platform::File::open_for_attributes("data").valid());
    EXPECT_TRUE(platform::File::open_for_attributes("pipe").valid());
    EXPECT_FALSE(platform::File::open_for_attributes("missing").valid());
    EXPECT_EQ(platform::last_error(), ENOENT);
}

// Writes never leave the current directory: a scratch file replaces a link
// or a hard link in its way, and a folder link that leads out fails.
TEST(File, LauncherPathsReachTheFileSystemAsUtf8AndNoWriteLeavesTheDirectory) {
    testsupport::TempDir dir;
    fs::create_directories("game/data");
    fs::current_path("game");
    ASSERT_TRUE(platform::create_directory("data\\\xFE"));  // CP1254 "ş"
    auto file = platform::File::create_always("data\\\xFE/a.pak");
    ASSERT_TRUE(file.write_all("abc", 3));
    EXPECT_EQ(read_bytes("data/\xC5\x9F/a.pak"), "abc");

    write_bytes("../outside.txt", "keep");
    fs::create_symlink("../outside.txt", "~temp.dat");
    fs::create_hard_link("../outside.txt", "~temp.dat.resume");
    for (const char* name : {"~temp.dat", "~temp.dat.resume"}) {
        EXPECT_FALSE(platform::File::open_for_resume(name).valid()) << name;
        EXPECT_TRUE(platform::File::create_always(name).write_all("new", 3)) << name;
    }
    EXPECT_EQ(read_bytes("~temp.dat") + read_bytes("../outside.txt"), "newkeep");
    fs::create_directory_symlink("..", "up");
    EXPECT_FALSE(platform::create_directory("up\\made"));
    EXPECT_EQ(platform::last_error(), EXDEV);
    EXPECT_FALSE(platform::replace_file("~temp.dat", "up/outside.txt"));
    EXPECT_FALSE(platform::File::create_always("data/../../outside.txt").valid());
    EXPECT_EQ(read_bytes("../outside.txt"), "keep");
    EXPECT_FALSE(fs::exists("../made"));
    // Stamping a link stamps the link, never the file it leads to.
    fs::create_symlink("../outside.txt", "link.pak");
    const auto outside = fs::last_write_time("../outside.txt");
    EXPECT_TRUE(platform::set_file_write_time("link.pak", 1577872800));
    EXPECT_EQ(fs::last_write_time("../outside.txt"), outside);
}

// A folder another user may change, sticky or not, is not the player's alone.
TEST(File, OthersMayWriteAFolderWithGroupOrOtherWriteOrOfAnotherUser) {
    testsupport::TempDir dir;
    fs::create_directory("d");
    for (const auto& [mode, others] :
         {std::pair{0755, false}, {0700, false}, {0775, true}, {01777, true}, {0757, true}}) {
        ASSERT_EQ(::chmod("d", static_cast<mode_t>(mode)), 0);
        EXPECT_EQ(platform::others_may_write("d"), others) << mode;
    }
    EXPECT_FALSE(platform::others_may_write("missing"));
    if (::geteuid() == 0 && ::chown("d", 65534, 65534) == 0) {
        EXPECT_TRUE(platform::others_may_write("d"));
    }
}

// A file new to the game directory can be run when it is a program; an
// existing file keeps its bits, whichever way it is put in place.
TEST(File, NewFilesGetModesFromTheirFirstBytesAndOldFilesKeepTheirs) {
    testsupport::TempDir dir;
    const mode_t saved = ::umask(027);
    const std::string elf = "\177ELF";
    const std::tuple<std::string, int, unsigned> cases[] = {
        // bytes, old mode, new mode
        {elf + "\2\1", -1, 0750}, {"#!/bin/sh\n", -1, 0750},
        {"#x", -1, 0640},         {elf.substr(0, 3), -1, 0640},
        {"", -1, 0640},           {elf, 0604, 0604},
        {"data", 0751, 0751}};
    for (const auto& [bytes, existing, expected] : cases) {
        for (const bool copy : {false, true}) {
            fs::remove("game.exe");
            write_bytes("~temp.dat", bytes);
            fs::permissions("~temp.dat", fs::perms(0600));
            if (existing >= 0) write_bytes("game.exe", "old");
            if (existing >= 0) fs::permissions("game.exe", fs::perms(existing));
            ASSERT_TRUE(copy ? platform::copy_file("~temp.dat", "game.exe")
                             : platform::replace_file("~temp.dat", "game.exe"));
            EXPECT_EQ(read_bytes("game.exe"), bytes);
            EXPECT_EQ(static_cast<unsigned>(fs::status("game.exe").permissions()), expected)
                << bytes << (copy ? " copied" : " renamed");
        }
    }
    ::umask(saved);
}

TEST(File, ReplaceRenamesWithTheNewTimeOrCopiesAcrossFileSystemsAndFailuresChangeNothing) {
    testsupport::TempDir dir;
    const std::string shm = "/dev/shm/valdora-test-" + std::to_string(::getpid());
    for (const std::string& source : {std::string("~temp.dat"), shm}) {
        write_bytes(source, std::string(100000, 'n'));
        ASSERT_TRUE(platform::set_file_write_time(source, 1709622489));
        ASSERT_TRUE(platform::replace_file(source, "a.pak"));
        EXPECT_EQ(read_bytes("a.pak"), std::string(100000, 'n'));
        EXPECT_EQ(testsupport::write_time("a.pak"), 1709622489);
        EXPECT_FALSE(fs::exists(source));
    }
    fs::create_directory("d");
    write_bytes("~temp.dat", "x");
    for (const char* target : {"d", "none/a.pak"})
        EXPECT_FALSE(platform::replace_file("~temp.dat", target));
    EXPECT_FALSE(platform::copy_file("missing", "a.pak"));
    EXPECT_EQ(read_bytes("~temp.dat") + read_bytes("a.pak").substr(0, 1), "xn");
}

}  // namespace
