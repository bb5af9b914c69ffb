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

namespace {

class ScopedTimeZone {
public:
    explicit ScopedTimeZone(const char* tz) {
        if (const char* old = std::getenv("TZ")) saved_ = old, had_ = true;
        ::setenv("TZ", tz, 1);
        ::tzset();
    }
    ~ScopedTimeZone() {
        if (had_) {
            ::setenv("TZ", saved_.c_str(), 1);
        } else {
            ::unsetenv("TZ");
        }
        ::tzset();
    }

private:
    std::string saved_;
    bool had_ = false;
};

std::string format(const platform::SystemTime& t) {
    char out[64];
    std::snprintf(out, sizeof out, "%02d.%02d.%d %02d:%02d:%02d", t.day, t.month, t.year, t.hour,
                  t.minute, t.second);
    return out;
}

TEST(File, WriteTimeRoundTripsInUtcWhateverTheTimeZone) {
    testsupport::TempDir dir;
    testsupport::write_bytes("a.pak", "x");
    for (const char* tz : {"UTC", "Europe/Istanbul", "America/New_York", "Asia/Kolkata",
                           "Pacific/Chatham", "<-14>14"}) {
        SCOPED_TRACE(tz);
        ScopedTimeZone zone(tz);
        platform::SystemTime t;
        t.day = 5, t.month = 3, t.year = 2024, t.hour = 7, t.minute = 8, t.second = 9;
        std::int64_t seconds = 0;
        ASSERT_TRUE(platform::system_time_to_unix(t, seconds));
        ASSERT_TRUE(platform::set_file_write_time("a.pak", seconds));

        auto file = platform::File::open_for_attributes("a.pak");
        ASSERT_TRUE(file.valid());
        std::int64_t read = 0;
        ASSERT_TRUE(file.last_write_time(read));
        EXPECT_EQ(format(platform::unix_to_system_time(read)), "05.03.2024 07:08:09");
        EXPECT_EQ(read, 1709622489);  // the same instant, as `date -u -d` gives it
    }
}

TEST(File, SettingTheWriteTimeLeavesAccessTimeAlone) {
    testsupport::TempDir dir;
    testsupport::write_bytes("a.pak", "x");
    struct timespec times[2] = {{1000000000, 0}, {1000000000, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, "a.pak", times, 0), 0);
    ASSERT_TRUE(platform::set_file_write_time("a.pak", 1700000000));
    struct stat st;
    ASSERT_EQ(::stat("a.pak", &st), 0);
    EXPECT_EQ(st.st_atim.tv_sec, 1000000000);
    EXPECT_EQ(st.st_mtim.tv_sec, 1700000000);
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

TEST(File, SizeOfASparseFileBeyond4GiBReadsItsLow32Bits) {
    testsupport::TempDir dir;
    const int fd = ::open("big.pak", O_WRONLY | O_CREAT, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, (std::int64_t{1} << 32) + 10), 0);
    ::close(fd);
    auto file = platform::File::open_for_attributes("big.pak");
    std::uint32_t low = 0;
    ASSERT_TRUE(file.size_low32(low));
    EXPECT_EQ(low, 10u);
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
    fs::create_directory("data");
    ASSERT_TRUE(
        platform::create_directory("data\\\xFE"
                                   "ehir"));  // "şehir" in CP1254
    EXPECT_TRUE(
        fs::is_directory("data/\xC5\x9F"
                         "ehir"));
    auto file = platform::File::create_always(
        "data\\\xFE"
        "ehir/a.pak");
    ASSERT_TRUE(file.valid());
    ASSERT_TRUE(file.write_all("abc", 3));
    file.close();
    EXPECT_EQ(testsupport::read_bytes("data/\xC5\x9F"
                                      "ehir/a.pak"),
              "abc");
    EXPECT_FALSE(platform::create_directory("data"));
    EXPECT_EQ(platform::last_error(), EEXIST);

    // A symlink where the launcher makes its scratch file is refused.
    testsupport::write_bytes("outside.txt", "keep");
    fs::create_symlink("outside.txt", "~temp.dat");
    EXPECT_FALSE(platform::File::create_always("~temp.dat").valid());
    EXPECT_EQ(platform::last_error(), ELOOP);
    EXPECT_EQ(testsupport::read_bytes("outside.txt"), "keep");
}

TEST(File, CopyReplacesTheTargetWholeAndKeepsItsMode) {
    testsupport::TempDir dir;
    testsupport::write_bytes("~temp.dat", std::string(300000, 'n'));
    testsupport::write_bytes("valdora.exe", "old");
    ::chmod("valdora.exe", 0755);
    ASSERT_TRUE(platform::copy_file("~temp.dat", "valdora.exe"));
    EXPECT_EQ(testsupport::read_bytes("valdora.exe"), std::string(300000, 'n'));
    struct stat st;
    ASSERT_EQ(::stat("valdora.exe", &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0755u);
    EXPECT_FALSE(fs::exists("valdora.exe.~cp"));

    // A failed copy leaves the target as it was.
    EXPECT_FALSE(platform::copy_file("missing", "valdora.exe"));
    EXPECT_EQ(fs::file_size("valdora.exe"), 300000u);
    fs::create_directory("dir");
    EXPECT_FALSE(platform::copy_file("~temp.dat", "dir"));
    EXPECT_TRUE(fs::is_directory("dir"));
}

std::int64_t mtime(const char* path) {
    struct stat st;
    return ::stat(path, &st) == 0 ? st.st_mtim.tv_sec : -1;
}

TEST(File, ReplaceRenamesIntoPlaceWithTheNewTimeAndTheOldMode) {
    testsupport::TempDir dir;
    testsupport::write_bytes("~temp.dat", "new");
    ASSERT_TRUE(platform::set_file_write_time("~temp.dat", 1709622489));
    testsupport::write_bytes("valdora.exe", "old");
    ::chmod("valdora.exe", 0751);
    ASSERT_TRUE(platform::replace_file("~temp.dat", "valdora.exe"));
    EXPECT_EQ(testsupport::read_bytes("valdora.exe"), "new");
    EXPECT_EQ(mtime("valdora.exe"), 1709622489);
    struct stat st;
    ASSERT_EQ(::stat("valdora.exe", &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0751u);
    EXPECT_FALSE(fs::exists("~temp.dat"));

    // A new target takes the file as it is, into a folder of its own.
    testsupport::write_bytes("~temp.dat", "data");
    ::chmod("~temp.dat", 0604);
    fs::create_directory("d");
    ASSERT_TRUE(platform::replace_file("~temp.dat", "d\\a.pak"));
    ASSERT_EQ(::stat("d/a.pak", &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0604u);

    // Failures leave both sides alone.
    EXPECT_FALSE(platform::replace_file("~temp.dat", "valdora.exe"));
    EXPECT_EQ(platform::last_error(), ENOENT);
    testsupport::write_bytes("~temp.dat", "x");
    EXPECT_FALSE(platform::replace_file("~temp.dat", "d"));
    EXPECT_EQ(platform::last_error(), EISDIR);
    EXPECT_FALSE(platform::replace_file("~temp.dat", "none/a.pak"));
    EXPECT_EQ(testsupport::read_bytes("~temp.dat") + testsupport::read_bytes("valdora.exe"),
              "xnew");
}

TEST(File, ReplaceAcrossFileSystemsCopiesBytesAndTime) {
    testsupport::TempDir dir;
    struct stat here, shm;
    if (::stat(".", &here) != 0 || ::stat("/dev/shm", &shm) != 0 || here.st_dev == shm.st_dev) {
        GTEST_SKIP() << "no second file system at /dev/shm";
    }
    const std::string source = "/dev/shm/valdora-test-" + std::to_string(::getpid());
    testsupport::write_bytes(source, std::string(100000, 'n'));
    ASSERT_TRUE(platform::set_file_write_time(source, 1709622489));
    testsupport::write_bytes("a.pak", "old");
    ::chmod("a.pak", 0640);
    ASSERT_TRUE(platform::replace_file(source, "a.pak"));
    EXPECT_EQ(testsupport::read_bytes("a.pak"), std::string(100000, 'n'));
    EXPECT_EQ(mtime("a.pak"), 1709622489);
    struct stat st;
    ASSERT_EQ(::stat("a.pak", &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_FALSE(fs::exists(source));
    EXPECT_FALSE(fs::exists("a.pak.~cp"));
}

TEST(File, AttributeHandleKeepsWhatTheFileWasWhenOpened) {
    testsupport::TempDir dir;
    testsupport::write_bytes("a.pak", "12345");
    ASSERT_TRUE(platform::set_file_write_time("a.pak", 1000000000));
    platform::File file = platform::File::open_for_attributes("a.pak");
    testsupport::write_bytes("a.pak", "1234567");
    std::uint64_t size = 0;
    std::int64_t time = 0;
    ASSERT_TRUE(file.size(size) && file.last_write_time(time));
    EXPECT_EQ(size, 5u);
    EXPECT_EQ(time, 1000000000);
    // It reads and writes nothing.
    char byte;
    EXPECT_EQ(file.read_some(&byte, 1), -1);
    EXPECT_FALSE(file.write_all("x", 1));
    platform::File moved = std::move(file);
    EXPECT_TRUE(moved.valid());
    EXPECT_FALSE(file.valid());
    moved.close();
    EXPECT_FALSE(moved.valid());
}

TEST(File, WorkingDirectoryIsEnteredAgainWhereverTheProcessWent) {
    testsupport::TempDir dir;
    fs::create_directory("game");
    fs::create_directory("elsewhere");
    const std::string game = platform::current_directory() + "/game";
    const platform::WorkingDirectory working(game);
    ASSERT_TRUE(platform::set_current_directory("elsewhere"));
    ASSERT_TRUE(working.enter());
    EXPECT_EQ(platform::current_directory(), game);
    const platform::WorkingDirectory missing(game + "/none");
    EXPECT_FALSE(missing.enter());
    EXPECT_EQ(platform::current_directory(), game);
    ASSERT_TRUE(platform::set_current_directory(dir.path().string()));
}

TEST(File, CurrentDirectoryRoundTrips) {
    testsupport::TempDir dir;
    fs::create_directory("sub");
    const std::string start = platform::current_directory();
    ASSERT_TRUE(platform::set_current_directory(start + "/sub"));
    EXPECT_EQ(platform::current_directory(), start + "/sub");
    ASSERT_TRUE(platform::set_current_directory(start));
    EXPECT_FALSE(platform::set_current_directory(start + "/none"));
}

}  // namespace
