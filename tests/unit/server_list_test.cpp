#include "servers/server_list.h"

#include <gtest/gtest.h>

#include "support/launcher_log.h"
#include "support/temp_dir.h"

namespace {

// Each entry as "name,extra1,extra2,gameArg1,gameArg2" (fields 1..5).
std::vector<std::string> parse(const std::string& text) {
    std::vector<ServerEntry> entries;
    parseServerList(text, std::back_inserter(entries));
    std::vector<std::string> out;
    for (const ServerEntry& e : entries) {
        out.push_back(e.name + "," + e.extra1 + "," + e.extra2 + "," + e.gameArg1 + "," +
                      e.gameArg2);
    }
    return out;
}

TEST(ServerList, ParsesLinesOfFiveFieldsUntilTheFirstOtherLine) {
    const struct {
        const char* name;
        std::string text;
        std::vector<std::string> want;
    } cases[] = {
        {"crlf", "A|2|3|4|5\r\nB|b2|b3|b4|b5\r\n", {"A,2,3,4,5", "B,b2,b3,b4,b5"}},
        {"blank lines, no final break", "A|2|3|4|5\n\n\nB|2|3|4|5", {"A,2,3,4,5", "B,2,3,4,5"}},
        {"cr only", "A|2|3|4|5\rB|2|3|4|5\r", {"A,2,3,4,5", "B,2,3,4,5"}},
        {"empty field", "A||3|4|5\r\n", {"A,,3,4,5"}},
        {"edges and spaces", "| x |3|4|\r\n", {", x ,3,4,"}},
        {"four fields", "A|2|3|4\r\n", {}},
        {"six fields", "A|2|3|4|5|6\r\n", {}},
        {"stops at a bad line", "A|2|3|4|5\r\nno bars\r\nC|2|3|4|5\r\n", {"A,2,3,4,5"}},
        {"utf-8 name", "Kılıç|2|3|4|5\r\n", {"Kılıç,2,3,4,5"}},
        {"error page", "<html><body>Server Error</body></html>", {}},
    };
    for (const auto& c : cases) EXPECT_EQ(parse(c.text), c.want) << c.name;
}

TEST(ServerList, AnEmptyTextIsLogged) {
    testsupport::TempDir dir;
    EXPECT_TRUE(parse("").empty());
    EXPECT_TRUE(parse("x").empty());
    EXPECT_EQ(testsupport::log_messages(dir.path()),
              std::vector<std::string>{"server listesi bo\xFE !"});
}

}  // namespace
