#include "patch/update_list.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct Parsed {
    bool ok;
    std::string base;
    std::vector<std::string> entries;  // "path|size|time"
};

Parsed parse(const std::string& body, bool testLauncher = false) {
    Parsed p;
    std::list<UpdateListEntry> entries;
    p.ok = ParseUpdateList(body, testLauncher, p.base, entries);
    for (const UpdateListEntry& e : entries) {
        EXPECT_FALSE(e.needsDownload);
        p.entries.push_back(e.path + "|" + std::to_string(e.size) + "|" + e.timeStamp);
    }
    return p;
}

TEST(UpdateList, ParsesWellFormedAndFaultyLists) {
    const std::string one = "base\r\nv\r\na.pak\r\n10\r\n01.02.2024 03:04:05\r\n";
    struct Case {
        const char* name;
        std::string body;
        bool testLauncher;
        Parsed want;
    } const cases[] = {
        {"two lines", "base\r\nv\r\n", false, {true, "base", {}}},
        {"one file", one, false, {true, "base", {"a.pak|10|01.02.2024 03:04:05"}}},
        {"no final break", one.substr(0, one.size() - 2), false, {false, "", {}}},
        {"blank lines and lone LF",
         "base\n\r\n\nv\r\n\r\na.pak\n10\r\n\r\n01.02.2024 03:04:05\n",
         false,
         {true, "base", {"a.pak|10|01.02.2024 03:04:05"}}},
        {"break first", "\r\nv\r\na\r\n1\r\nt\r\n", false, {true, "", {"a|1|t"}}},
        {"slashes",
         "b\r\nv\r\ndata/maps/x.map\r\n1\r\nt\r\n",
         false,
         {true, "b", {"data\\maps\\x.map|1|t"}}},
        {"sizes",
         "b\r\nv\r\na\r\n12abc\r\nt\r\nb\r\nabc\r\nt\r\nc\r\n -7\r\nt\r\nd\r\n99999999999\r\nt\r\n",
         false,
         {true, "b", {"a|12|t", "b|0|t", "c|4294967289|t", "d|2147483647|t"}}},
        {"launcher kept",
         "b\r\nv\r\n_launcher.dll\r\n5\r\nt\r\na.pak\r\n1\r\nt\r\n",
         false,
         {true, "b", {"_launcher.dll|5|t", "a.pak|1|t"}}},
        {"launcher dropped",
         "b\r\nv\r\n_launcher.dll\r\n5\r\nt\r\na.pak\r\n1\r\nt\r\n",
         true,
         {true, "b", {"a.pak|1|t"}}},
        {"empty body", "", false, {false, "", {}}},
        {"four lines", "b\r\nv\r\na\r\n1\r\n", false, {false, "", {}}},
        {"error page", "<html>\r\n<body>Not Found</body>\r\n</html>\r\n", false, {false, "", {}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Parsed got = parse(c.body, c.testLauncher);
        EXPECT_EQ(got.ok, c.want.ok);
        if (!c.want.ok) continue;
        EXPECT_EQ(got.base, c.want.base);
        EXPECT_EQ(got.entries, c.want.entries);
    }
}

TEST(UpdateList, PathsThatLeaveTheGameDirectoryMakeTheListFaulty) {
    const struct {
        const char* path;
        bool safe;
    } cases[] = {
        {"a.pak", true},         {"data\\maps\\x.map", true},
        {"data/..x/y", true},    {"...", true},
        {"a\\.\\b", true},       {"", false},
        {"/etc/passwd", false},  {"\\x", false},
        {"C:x", false},          {"c:\\windows\\x", false},
        {"..", false},           {"../x", false},
        {"a\\..\\..\\x", false}, {"a/b/..", false},
        {"a/../b", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(IsSafeListPath(c.path), c.safe);
        if (*c.path == '\0') continue;  // an empty line cannot reach the parser as a path
        const Parsed got =
            parse(std::string("b\r\nv\r\nok.pak\r\n1\r\nt\r\n") + c.path + "\r\n1\r\nt\r\n");
        EXPECT_EQ(got.ok, c.safe);
        EXPECT_EQ(got.entries.size(), c.safe ? 2u : 0u);
    }
    EXPECT_FALSE(IsSafeListPath(std::string_view("a\0b", 3)));
}

TEST(UpdateList, FileUrlEncodesOnlyWhatWouldBreakTheUrl) {
    const struct {
        std::string path;
        const char* url;
    } cases[] = {
        {"a.pak", "B/a.pak"},
        {"data\\a.pak", "B/data\\a.pak"},
        {"a b#c?d%e", "B/a%20b%23c%3Fd%25e"},
        {std::string("x\x01\x7F\t", 4), "B/x%01%7F%09"},
        {"\xFE\xFD\xE7.pak", "B/\xFE\xFD\xE7.pak"},
        {"a+b&c=d;e", "B/a+b&c=d;e"},
    };
    for (const auto& c : cases) EXPECT_EQ(FileUrl("B", c.path), c.url) << c.path;
}

}  // namespace
