#include "patch/update_list.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// "base" then "path|size|time" per entry; "faulty" for a faulty list.
std::vector<std::string> parse(const std::string& body, bool testLauncher = false) {
    std::string base;
    std::list<UpdateListEntry> entries;
    if (!ParseUpdateList(body, testLauncher, base, entries)) return {"faulty"};
    std::vector<std::string> out{base};
    for (const UpdateListEntry& e : entries) {
        EXPECT_FALSE(e.needsDownload);
        out.push_back(e.path + "|" + std::to_string(e.size) + "|" + e.timeStamp);
    }
    return out;
}

TEST(UpdateList, ParsesWellFormedListsAndRejectsFaultyOnes) {
    const std::string one = "base\r\nv\r\na.pak\r\n10\r\n01.02.2024 03:04:05\r\n";
    const std::string launcher = "b\r\nv\r\n_launcher.dll\r\n5\r\nt\r\na.pak\r\n1\r\nt\r\n";
    const struct {
        std::string body;
        bool testLauncher;
        std::vector<std::string> want;
    } cases[] = {
        {"base\r\nv\r\n", false, {"base"}},
        {one, false, {"base", "a.pak|10|01.02.2024 03:04:05"}},
        {one.substr(0, one.size() - 2), false, {"faulty"}},  // no final break
        {"base\n\r\n\nv\r\n\r\na.pak\n10\r\n\r\n01.02.2024 03:04:05\n",
         false,
         {"base", "a.pak|10|01.02.2024 03:04:05"}},
        {"\r\nv\r\na\r\n1\r\nt\r\n", false, {"", "a|1|t"}},  // a break first: empty base
        {"b\r\nv\r\ndata/maps/x.map\r\n1\r\nt\r\n", false, {"b", "data\\maps\\x.map|1|t"}},
        {"b\r\nv\r\na\r\n12abc\r\nt\r\nb\r\nabc\r\nt\r\nc\r\n -7\r\nt\r\nd\r\n99999999999\r\nt\r\n",
         false,
         {"b", "a|12|t", "b|0|t", "c|4294967289|t", "d|2147483647|t"}},
        {launcher, false, {"b", "_launcher.dll|5|t", "a.pak|1|t"}},
        {launcher, true, {"b", "a.pak|1|t"}},
        {"", false, {"faulty"}},
        {"b\r\nv\r\na\r\n1\r\n", false, {"faulty"}},
    };
    for (const auto& c : cases) EXPECT_EQ(parse(c.body, c.testLauncher), c.want) << c.body;
}

TEST(UpdateList, PathsLeavingTheGameDirectoryMakeTheListFaulty) {
    for (const char* safe : {"a.pak", "data\\maps\\x.map", "data/..x/y", "...", "a\\.\\b"}) {
        EXPECT_TRUE(IsSafeListPath(safe)) << safe;
    }
    for (const char* bad :
         {"", "/etc/passwd", "\\x", "C:x", "c:\\w", "..", "../x", "a\\..\\..\\x", "a/b/.."}) {
        EXPECT_FALSE(IsSafeListPath(bad)) << bad;
        if (*bad == '\0') continue;  // no list line can be empty
        EXPECT_EQ(parse(std::string("b\r\nv\r\nok\r\n1\r\nt\r\n") + bad + "\r\n1\r\nt\r\n"),
                  std::vector<std::string>{"faulty"});
    }
    EXPECT_FALSE(IsSafeListPath(std::string_view("a\0b", 3)));
}

TEST(UpdateList, FileUrlEncodesOnlyWhatWouldBreakTheUrl) {
    EXPECT_EQ(FileUrl("B", "data\\a.pak"), "B/data\\a.pak");
    EXPECT_EQ(FileUrl("B", "a b#c?d%e"), "B/a%20b%23c%3Fd%25e");
    EXPECT_EQ(FileUrl("B", std::string("x\x01\x7F\t", 4)), "B/x%01%7F%09");
    EXPECT_EQ(FileUrl("B", "\xFE\xE7+&=;.pak"), "B/\xFE\xE7+&=;.pak");
}

}  // namespace
