#include "servers/server_list.h"

#include <gtest/gtest.h>

namespace {

TEST(ServerList, ParsesLinesOfFiveFieldsUntilTheFirstOtherLine) {
    const struct {
        std::string text;
        std::vector<std::string> want;  // fields 1..5 of each entry
    } cases[] = {
        {"A|2|3|4|5\r\nB|b2|b3|b4|b5\r\n", {"A,2,3,4,5", "B,b2,b3,b4,b5"}},
        {"A|2|3|4|5\n\n\rB|2|3|4|5", {"A,2,3,4,5", "B,2,3,4,5"}},
        {"A||3|4|5\r\n| x |3|4|\r\n", {"A,,3,4,5", ", x ,3,4,"}},
        {"A|2|3|4\r\n", {}},
        {"A|2|3|4|5|6\r\n", {}},
        {"A|2|3|4|5\r\nno bars\r\nC|2|3|4|5\r\n", {"A,2,3,4,5"}},
        {"<html><body>Server Error</body></html>", {}},
    };
    for (const auto& c : cases) {
        std::vector<ServerEntry> entries;
        parseServerList(c.text, std::back_inserter(entries));
        std::vector<std::string> got;
        for (const ServerEntry& e : entries) {
            got.push_back(e.name + "," + e.extra1 + "," + e.extra2 + "," + e.gameArg1 + "," +
                          e.gameArg2);
        }
        EXPECT_EQ(got, c.want) << c.text;
    }
}

}  // namespace
