#include "patch/file_checks.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <filesystem>

#include "patch/self_update.h"
#include "platform/file_time.h"
#include "support/files.h"
#include "support/temp_dir.h"

namespace {

std::int64_t at(int day, int month, int year, int hour, int minute) {
    platform::SystemTime t;
    t.day = day, t.month = month, t.year = year, t.hour = hour, t.minute = minute;
    std::int64_t s = 0;
    platform::system_time_to_unix(t, s);
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
        {at(5, 3, 2024, 7, 8), "05.03.2024 07:08:09", false},
        {at(5, 3, 2024, 8, 59), "05.03.2024 07:00:00", false},
        {at(5, 3, 2024, 6, 0), "05.03.2024 07:59:59", false},
        {at(5, 3, 2024, 9, 8), "05.03.2024 07:08:09", true},
        {at(5, 3, 2024, 5, 8), "05.03.2024 07:08:09", true},
        {at(1, 1, 2024, 0, 10), "31.12.2023 23:30:00", true},
        {at(5, 3, 2024, 7, 8), "05.04.2024 07:08:09", true},
        {at(5, 3, 2024, 7, 8), "", true},
        {at(5, 3, 2024, 7, 8), "5.3.2024 7:59", false},  // what cannot be read stays 0
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(platform::set_file_write_time("a.pak", c.file));
        EXPECT_EQ(isFileTimeDifferent(platform::File::open_for_attributes("a.pak"), c.list),
                  c.differs)
            << c.list;
    }
    // The low 32 bits of the size count: 4 GiB + 10 bytes is 10.
    ASSERT_EQ(::truncate("a.pak", (std::int64_t{1} << 32) + 10), 0);
    EXPECT_FALSE(isFileSizeDifferentWithHandle(platform::File::open_for_attributes("a.pak"), 10));
    EXPECT_TRUE(isFileSizeDifferentWithHandle(platform::File::open_for_attributes("none"), 0));
}

TEST(FileChecks, TimeTextIsReadAsATextStreamReadsSixNumbers) {
    const struct {
        const char* text;
        std::array<int, 6> fields;  // day, month, year, hour, minute, second
    } cases[] = {
        {"05.03.2024 07:08:09", {5, 3, 2024, 7, 8, 9}},
        {"5.3.2024 7:59", {5, 3, 2024, 7, 59, 0}},
        {"", {0, 0, 0, 0, 0, 0}},
        {"1 2 3 4 5 6 7", {1, 2, 3, 4, 5, 6}},
        {"\t\v\f1\r\n2", {1, 2, 0, 0, 0, 0}},
        {"00000000000000000000005.6", {5, 6, 0, 0, 0, 0}},
        {"+5. 6", {5, 6, 0, 0, 0, 0}},
        {"-1.2.3", {65535, 2, 3, 0, 0, 0}},     // a minus wraps
        {"70000.1.2", {65535, 0, 0, 0, 0, 0}},  // too large: the maximum, and the end
        {"65535.65536.7", {65535, 65535, 0, 0, 0, 0}},
        {"12abc 3", {12, 0, 0, 0, 0, 0}},  // no digits: 0, and the end
        {"- 5", {0, 0, 0, 0, 0, 0}},
        {"0x10 5", {0, 0, 0, 0, 0, 0}},
    };
    for (const auto& c : cases) {
        const platform::SystemTime t = ReadTimeText(c.text);
        EXPECT_EQ((std::array<int, 6>{t.day, t.month, t.year, t.hour, t.minute, t.second}),
                  c.fields)
            << c.text;
    }
}

TEST(SelfUpdate, ContentComparisonAndTheStartUpDecision) {
    testsupport::TempDir dir;
    const std::string big(200000, 'x');
    const struct {
        const char *exe, *dll;  // nullptr: missing
        bool different;
    } cases[] = {
        {"abc", "abc", false}, {"", "", false},      {"abc", "abd", true},
        {"abc", "abcd", true}, {nullptr, "a", true}, {"a", nullptr, true},
    };
    for (const std::string& tail : {std::string(), big}) {
        for (const auto& c : cases) {
            std::filesystem::remove("launcher.exe");
            std::filesystem::remove("_launcher.dll");
            if (c.exe) testsupport::write_bytes("launcher.exe", tail + c.exe);
            if (c.dll) testsupport::write_bytes("_launcher.dll", tail + c.dll);
            EXPECT_EQ(isFileContentDifferent("launcher.exe", "_launcher.dll"), c.different);
            EXPECT_EQ(IsLauncherUpdatePending(false), c.dll && c.different);
            EXPECT_FALSE(IsLauncherUpdatePending(true));
        }
    }
}

}  // namespace
