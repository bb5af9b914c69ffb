#include "patch/file_checks.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>

#include "patch/self_update.h"
#include "platform/file_time.h"
#include "support/files.h"
#include "support/launcher_log.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;

namespace {

// Seconds since 1970 of a time text, for setting files up.
std::int64_t at(int day, int month, int year, int hour, int minute, int second) {
    platform::SystemTime t;
    t.day = day, t.month = month, t.year = year, t.hour = hour, t.minute = minute,
    t.second = second;
    std::int64_t s = 0;
    EXPECT_TRUE(platform::system_time_to_unix(t, s));
    return s;
}

TEST(FileChecks, TimesAreEqualOnTheSameDateWithinAnHour) {
    testsupport::TempDir dir;
    testsupport::write_bytes("a.pak", "x");
    const struct {
        std::int64_t file;
        const char* list;
        bool differs;
    } cases[] = {
        {at(5, 3, 2024, 7, 8, 9), "05.03.2024 07:08:09", false},
        {at(5, 3, 2024, 8, 59, 59), "05.03.2024 07:00:00", false},
        {at(5, 3, 2024, 6, 0, 0), "05.03.2024 07:59:59", false},
        {at(5, 3, 2024, 9, 8, 9), "05.03.2024 07:08:09", true},
        {at(5, 3, 2024, 5, 8, 9), "05.03.2024 07:08:09", true},
        {at(1, 1, 2024, 0, 10, 0), "31.12.2023 23:30:00", true},
        {at(5, 3, 2024, 7, 8, 9), "05.04.2024 07:08:09", true},
        {at(5, 3, 2024, 7, 8, 9), "05.03.2025 07:08:09", true},
        {at(5, 3, 2024, 7, 8, 9), "", true},
        {at(5, 3, 2024, 7, 8, 9), "garbage", true},
        {at(5, 3, 2024, 7, 8, 9), "5.3.2024 7:59", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.list);
        ASSERT_TRUE(platform::set_file_write_time("a.pak", c.file));
        const platform::File file = platform::File::open_for_attributes("a.pak");
        EXPECT_EQ(isFileTimeDifferent(file, c.list), c.differs);
    }
}

TEST(FileChecks, MissingFilesAreLoggedAndCountAsDifferent) {
    testsupport::TempDir dir;
    const platform::File missing = platform::File::open_for_attributes("nope.pak");
    std::string text = "unchanged";
    EXPECT_EQ(GetLastWriteTime(missing, text), 0);
    EXPECT_EQ(text, "unchanged");
    EXPECT_TRUE(isFileTimeDifferent(missing, "01.01.2024 00:00:00"));
    EXPECT_TRUE(isFileSizeDifferentWithHandle(missing, 0));
    EXPECT_EQ(SetFileToPatchTime("nope.pak", "01.01.2024 00:00:00"), 0);
    // Each line carries the error at that moment, which a log call in
    // between may have changed; the first is the open's.
    std::vector<std::string> lines = testsupport::log_messages(dir.path());
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "Error opening file in GetLastWriteTime(): 2");
    for (std::string& line : lines) line.erase(line.rfind(": "));
    EXPECT_EQ(lines,
              (std::vector<std::string>{"Error opening file in GetLastWriteTime()",
                                        "Error opening file in GetLastWriteTime()",
                                        "Error opening file in isFileSizeDifferentWithHandle()",
                                        "Error opening file in SetFileToPatchTime()"}));
}

TEST(FileChecks, SizeComparesTheLow32Bits) {
    testsupport::TempDir dir;
    testsupport::write_bytes("a.pak", "0123456789");
    ASSERT_EQ(::truncate("big.pak", 0), -1);  // not there yet
    testsupport::write_bytes("big.pak", "");
    ASSERT_EQ(::truncate("big.pak", (std::int64_t{1} << 32) + 10), 0);  // sparse
    const struct {
        const char* path;
        std::uint32_t size;
        bool differs;
    } cases[] = {
        {"a.pak", 10, false}, {"a.pak", 11, true}, {"big.pak", 10, false}, {"big.pak", 0, true}};
    for (const auto& c : cases) {
        const platform::File file = platform::File::open_for_attributes(c.path);
        EXPECT_EQ(isFileSizeDifferentWithHandle(file, c.size), c.differs) << c.path << c.size;
    }
}

TEST(FileChecks, StampedTimeReadsBackExactlyInEveryTimeZone) {
    testsupport::TempDir dir;
    testsupport::write_bytes("a.pak", "x");
    const std::string saved = std::getenv("TZ") ? std::getenv("TZ") : "";
    for (const char* tz : {"UTC", "Europe/Istanbul", "America/New_York", "Pacific/Chatham"}) {
        ::setenv("TZ", tz, 1);
        ::tzset();
        ASSERT_EQ(SetFileToPatchTime("a.pak", "05.03.2024 07:08:09"), 1);
        std::string text;
        ASSERT_EQ(GetLastWriteTime(platform::File::open_for_attributes("a.pak"), text), 1);
        EXPECT_EQ(text, "05.03.2024 07:08:09") << tz;
    }
    saved.empty() ? ::unsetenv("TZ") : ::setenv("TZ", saved.c_str(), 1);
    ::tzset();
    // A text that is no valid time leaves the file alone.
    EXPECT_EQ(SetFileToPatchTime("a.pak", "00.00.0 00:00:00"), 0);
    std::string text;
    GetLastWriteTime(platform::File::open_for_attributes("a.pak"), text);
    EXPECT_EQ(text, "05.03.2024 07:08:09");
}

TEST(FileChecks, CreateDirectoryPathMakesEveryLevel) {
    testsupport::TempDir dir;
    CreateDirectoryPath("a\\b/c");
    EXPECT_TRUE(fs::is_directory("a/b/c"));
    CreateDirectoryPath("a\\b/c\\d");  // existing levels are no error
    EXPECT_TRUE(fs::is_directory("a/b/c/d"));
    CreateDirectoryPath("C:\\x");  // "C:" alone is never made, so neither is "C:\x"
    EXPECT_FALSE(fs::exists("C:"));
    EXPECT_TRUE(FileExists("a\\b"));
    EXPECT_FALSE(FileExists("a\\z"));
}

TEST(SelfUpdate, ContentComparisonAndTheStartUpDecision) {
    testsupport::TempDir dir;
    const std::string big(200000, 'x');
    const struct {
        const char* name;
        const char* exe;      // nullptr: missing
        const char* dll;      // nullptr: missing
        std::string bigTail;  // appended to both, the dll's last byte changed when "!"
        bool different;
    } cases[] = {
        {"equal", "abc", "abc", "", false},        {"both empty", "", "", "", false},
        {"one byte", "abc", "abd", "", true},      {"sizes", "abc", "abcd", "", true},
        {"exe missing", nullptr, "abc", "", true}, {"dll missing", "abc", nullptr, "", true},
        {"large equal", "", "", big, false},       {"large last byte", "", "", big + "!", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove("launcher.exe");
        fs::remove("_launcher.dll");
        std::string exe = c.exe ? c.exe + c.bigTail : "";
        std::string dll = c.dll ? c.dll + c.bigTail : "";
        if (!c.bigTail.empty() && c.bigTail.back() == '!') dll.back() = '?';
        if (c.exe) testsupport::write_bytes("launcher.exe", exe);
        if (c.dll) testsupport::write_bytes("_launcher.dll", dll);
        EXPECT_EQ(isFileContentDifferent("launcher.exe", "_launcher.dll"), c.different);
        // No "_launcher.dll": nothing waits. Test-launcher mode never hands over.
        EXPECT_EQ(IsLauncherUpdatePending(false), c.dll != nullptr && c.different);
        EXPECT_FALSE(IsLauncherUpdatePending(true));
    }
}

}  // namespace
