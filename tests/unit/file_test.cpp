#include "platform/file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>

#include "platform/file_time.h"
#include "platform/last_error.h"
#include "support/files.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;
using testsupport::read_bytes;
using testsupport::write_bytes;
using testsupport::write_time;

namespace {

std::string format(const platform::SystemTime& t) {
    char out[64];
    std::snprintf(out, sizeof out, "%02d.%02d.%d %02d:%02d:%02d", t.day, t.month, t.year, t.hour,
                  t.minute, t.second);
    return out;
}

TEST(File, AttributesAreTheLaunchersWhateverTheTimeZone) {
    testsupport::TempDir dir;
    write_bytes("a.pak", "x");
    struct timespec times[2] = {{1000000000, 0}, {1000000000, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, "a.pak", times, 0), 0);
    const char* const saved = std::getenv("TZ");
    for (const char* tz : {"UTC", "Europe/Istanbul", "America/New_York", "Asia/Kolkata",
                           "Pacific/Chatham", "<-14>14"}) {
        SCOPED_TRACE(tz);
        ::setenv("TZ", tz, 1);
        ::tzset();
        platform::SystemTime t;
        t.day = 5, t.month = 3, t.year = 2024, t.hour = 7, t.minute = 8, t.second = 9;
        std::int64_t seconds = 0;
        ASSERT_TRUE(platform::system_time_to_unix(t, seconds));
        ASSERT_TRUE(platform::set_file_write_time("a.pak", seconds));

        auto file = platform::File::open_for_attributes("a.pak");
        std::int64_t read = 0;
        ASSERT_TRUE(file.last_write_time(read));
        EXPECT_EQ(format(platform::unix_to_system_time(read)), "05.03.2024 07:08:09");
        EXPECT_EQ(read, 1709622489);  // the same instant, as `date -u -d` gives it
    }
    saved ? ::setenv("TZ", saved, 1) : ::unsetenv("TZ");
    ::tzset();
    struct stat st;
    ASSERT_EQ(::stat("a.pak", &st), 0);
    EXPECT_EQ(st.st_atim.tv_sec, 1000000000);  // access time untouched

    // The size of a sparse file beyond 4 GiB reads as its low 32 bits.
    ASSERT_EQ(::truncate("a.pak", (std::int64_t{1} << 32) + 10), 0);
    std::uint32_t low = 0;
    ASSERT_TRUE(platform::File::open_for_attributes("a.pak").size_low32(low));
    EXPECT_EQ(low, 10u);
}

TEST(File, CalendarConversionRejectsImpossibleFields) {
    struct Case {
        std::uint16_t y, mo, d, h, mi, s;
        bool valid;
    };
    const Case cases[] = {
        {2024, 2, 29, 0, 0, 0, true},  {2023, 2, 29, 0, 0, 0, false},
        {2024, 0, 1, 0, 0, 0, false},  {2024, 13, 1, 0, 0, 0, false},
        {2024, 1, 0, 0, 0, 0, false},  {2024, 4, 31, 0, 0, 0, false},
        {2024, 1, 1, 24, 0, 0, false}, {0, 0, 0, 0, 0, 0, false},
        {1601, 1, 1, 0, 0, 0, true},   {1600, 12, 31, 23, 59, 59, false},
        {2100, 2, 29, 0, 0, 0, false}, {2000, 2, 29, 23, 59, 59, true},
    };
    for (const auto& c : cases) {
        platform::SystemTime t;
        t.year = c.y, t.month = c.mo, t.day = c.d, t.hour = c.h, t.minute = c.mi, t.second = c.s;
        std::int64_t seconds = 0;
        const bool ok = platform::system_time_to_unix(t, seconds);
        EXPECT_EQ(ok, c.valid) << c.y << "-" << c.mo << "-" << c.d << " " << c.h;
        if (ok) {
            const auto back = platform::unix_to_system_time(seconds);
            EXPECT_EQ(format(back), format(t));
            const std::time_t tt = seconds;
            std::tm utc{};
            gmtime_r(&tt, &utc);
            EXPECT_EQ(back.dayOfWeek, utc.tm_wday);
        }
    }
}

TEST(File, AttributeOpenFailsForMissingFilesAndDirectories) {
    testsupport::TempDir dir;
    fs::create_directory("data");
    EXPECT_FALSE(platform::File::open_for_attributes("missing.pak").valid());
    EXPECT_EQ(platform::last_error(), ENOENT);
    EXPECT_FALSE(platform::File::open_for_attributes("data").valid());
    EXPECT_TRUE(platform::file_exists("data"));
    // A FIFO must not hang the check.
    ASSERT_EQ(::mkfifo("pipe", 0644), 0);
    EXPECT_TRUE(platform::File::open_for_attributes("pipe").valid());
}

TEST(File, LauncherPathsReachTheFileSystemAsUtf8WithSlashes) {
    testsupport::TempDir dir;
    const std::string cp1254 = "data\\\xFE", utf8 = "data/\xC5\x9F";  // "ş" after "data"
    fs::create_directory("data");
    ASSERT_TRUE(platform::create_directory(cp1254 + "ehir"));
    EXPECT_TRUE(fs::is_directory(utf8 + "ehir"));
    auto file = platform::File::create_always(cp1254 + "ehir/a.pak");
    ASSERT_TRUE(file.write_all("abc", 3));
    file.close();
    EXPECT_EQ(read_bytes(utf8 + "ehir/a.pak"), "abc");
    EXPECT_FALSE(platform::create_directory("data"));
    EXPECT_EQ(platform::last_error(), EEXIST);

    // A symlink where the launcher makes its scratch file is refused.
    write_bytes("outside.txt", "keep");
    fs::create_symlink("outside.txt", "~temp.dat");
    EXPECT_FALSE(platform::File::create_always("~temp.dat").valid());
    EXPECT_EQ(platform::last_error(), ELOOP);
    EXPECT_EQ(read_bytes("outside.txt"), "keep");
}

TEST(File, CopyReplacesTheTargetWholeAndKeepsItsMode) {
    testsupport::TempDir dir;
    write_bytes("~temp.dat", std::string(300000, 'n'));
    write_bytes("valdora.exe", "old");
    fs::permissions("valdora.exe", fs::perms(0755));
    ASSERT_TRUE(platform::copy_file("~temp.dat", "valdora.exe"));
    EXPECT_EQ(read_bytes("valdora.exe"), std::string(300000, 'n'));
    EXPECT_EQ(fs::status("valdora.exe").permissions(), fs::perms(0755));
    EXPECT_FALSE(fs::exists("valdora.exe.~cp"));

    // A failed copy leaves the target as it was.
    EXPECT_FALSE(platform::copy_file("missing", "valdora.exe"));
    EXPECT_EQ(fs::file_size("valdora.exe"), 300000u);
    fs::create_directory("dir");
    EXPECT_FALSE(platform::copy_file("~temp.dat", "dir"));
    EXPECT_TRUE(fs::is_directory("dir"));
}

TEST(File, ReplaceRenamesIntoPlaceWithTheNewTimeAndTheOldMode) {
    testsupport::TempDir dir;
    write_bytes("~temp.dat", "new");
    ASSERT_TRUE(platform::set_file_write_time("~temp.dat", 1709622489));
    write_bytes("valdora.exe", "old");
    fs::permissions("valdora.exe", fs::perms(0751));
    ASSERT_TRUE(platform::replace_file("~temp.dat", "valdora.exe"));
    EXPECT_EQ(read_bytes("valdora.exe"), "new");
    EXPECT_EQ(write_time("valdora.exe"), 1709622489);
    EXPECT_EQ(fs::status("valdora.exe").permissions(), fs::perms(0751));
    EXPECT_FALSE(fs::exists("~temp.dat"));

    // A new target takes the file as it is, into a folder of its own.
    write_bytes("~temp.dat", "data");
    fs::permissions("~temp.dat", fs::perms(0604));
    fs::create_directory("d");
    ASSERT_TRUE(platform::replace_file("~temp.dat", "d\\a.pak"));
    EXPECT_EQ(fs::status("d/a.pak").permissions(), fs::perms(0604));

    // Failures leave both sides alone.
    EXPECT_FALSE(platform::replace_file("~temp.dat", "valdora.exe"));
    EXPECT_EQ(platform::last_error(), ENOENT);
    write_bytes("~temp.dat", "x");
    EXPECT_FALSE(platform::replace_file("~temp.dat", "d"));
    EXPECT_EQ(platform::last_error(), EISDIR);
    EXPECT_FALSE(platform::replace_file("~temp.dat", "none/a.pak"));
    EXPECT_EQ(read_bytes("~temp.dat") + read_bytes("valdora.exe"), "xnew");
}

TEST(File, ReplaceAcrossFileSystemsCopiesBytesAndTime) {
    testsupport::TempDir dir;
    struct stat here, shm;
    if (::stat(".", &here) != 0 || ::stat("/dev/shm", &shm) != 0 || here.st_dev == shm.st_dev) {
        GTEST_SKIP() << "no second file system at /dev/shm";
    }
    const std::string source = "/dev/shm/valdora-test-" + std::to_string(::getpid());
    write_bytes(source, std::string(100000, 'n'));
    ASSERT_TRUE(platform::set_file_write_time(source, 1709622489));
    write_bytes("a.pak", "old");
    fs::permissions("a.pak", fs::perms(0640));
    ASSERT_TRUE(platform::replace_file(source, "a.pak"));
    EXPECT_EQ(read_bytes("a.pak"), std::string(100000, 'n'));
    EXPECT_EQ(write_time("a.pak"), 1709622489);
    EXPECT_EQ(fs::status("a.pak").permissions(), fs::perms(0640));
    EXPECT_FALSE(fs::exists(source));
    EXPECT_FALSE(fs::exists("a.pak.~cp"));
}

TEST(File, AttributeHandleKeepsWhatTheFileWasWhenOpenedAndNothingMore) {
    testsupport::TempDir dir;
    write_bytes("a.pak", "12345");
    ASSERT_TRUE(platform::set_file_write_time("a.pak", 1000000000));
    platform::File file = platform::File::open_for_attributes("a.pak");
    write_bytes("a.pak", "1234567");
    std::uint64_t size = 0;
    std::int64_t time = 0;
    ASSERT_TRUE(file.size(size) && file.last_write_time(time));
    EXPECT_EQ(size, 5u);
    EXPECT_EQ(time, 1000000000);
    char byte;
    EXPECT_EQ(file.read_some(&byte, 1), -1);
    EXPECT_FALSE(file.write_all("x", 1));
}

TEST(File, WorkingDirectoryIsEnteredAgainWhereverTheProcessWent) {
    testsupport::TempDir dir;
    fs::create_directory("game");
    fs::create_directory("elsewhere");
    const std::string game = platform::current_directory() + "/game";
    const platform::WorkingDirectory working(game);
    ASSERT_TRUE(platform::set_current_directory("elsewhere"));
    EXPECT_EQ(platform::current_directory(), dir.path().string() + "/elsewhere");
    ASSERT_TRUE(working.enter());
    EXPECT_EQ(platform::current_directory(), game);
    const platform::WorkingDirectory missing(game + "/none");
    EXPECT_FALSE(missing.enter());
    EXPECT_FALSE(platform::set_current_directory(game + "/none"));
    EXPECT_EQ(platform::current_directory(), game);
    ASSERT_TRUE(platform::set_current_directory(dir.path().string()));
}

}  // namespace
