// The start-up check for a launcher update that waits in "_launcher.dll".
#include <gtest/gtest.h>

#include <filesystem>

#include "patch/self_update.h"
#include "support/files.h"
#include "support/temp_dir.h"

namespace {

TEST(SelfUpdate, AWaitingLauncherIsOneThatDiffersInAnyByte) {
    testsupport::TempDir dir;
    const std::string big(200000, 'x');  // more than one piece of the comparison
    const struct {
        const char *exe, *dll;  // nullptr: missing
        bool waiting;
    } cases[] = {{"abc", "abc", false}, {"", "", false},       {"abc", "abd", true},
                 {"abc", "abcd", true}, {"a", nullptr, false}, {nullptr, "a", true}};
    for (const std::string& head : {std::string(), big}) {
        for (const auto& c : cases) {
            std::filesystem::remove("launcher.exe");
            std::filesystem::remove("_launcher.dll");
            if (c.exe) testsupport::write_bytes("launcher.exe", head + c.exe);
            if (c.dll) testsupport::write_bytes("_launcher.dll", head + c.dll);
            EXPECT_EQ(IsLauncherUpdatePending(false), c.waiting) << head.size() << c.dll;
            EXPECT_FALSE(IsLauncherUpdatePending(true));
        }
    }
}

}  // namespace
