// The start-up check for a launcher update that waits in "_launcher.dll".
#include <gtest/gtest.h>

#include <filesystem>
#include <future>
#include <thread>

#include "patch/attribute_survey.h"
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

// Many short surveys, each racing its helpers: every entry judged, and no
// lost wake-up (which hangs the check; caught by the limit).
TEST(AttributeSurvey, EveryEntryIsJudgedAndNoWaitIsLost) {
    testsupport::TempDir dir;
    std::vector<UpdateListEntry> entries(4);
    for (std::size_t i = 0; i < entries.size(); ++i)
        entries[i] = {false, i % 3 ? "none" : "abc", testsupport::kTimeText, 3};
    testsupport::write_tree(".", {{"abc", "abc"}});
    auto wrong = std::make_shared<std::promise<int>>();
    std::thread([wrong, entries] {
        int count = 0;
        for (std::size_t round = 0; round < 2000; ++round) {
            AttributeSurvey survey;
            for (std::size_t i = 0; i <= round % 4; ++i) survey.Add(&entries[i]);
            survey.Close();
            platform::File file;
            int error = 0;
            bool current = false;
            for (std::size_t i = 0; i <= round % 4; ++i)
                count += !survey.Take(i, file, error, current) || current != (i % 3 == 0);
        }
        wrong->set_value(count);
    }).detach();
    auto result = wrong->get_future();
    ASSERT_EQ(result.wait_for(std::chrono::minutes(2)), std::future_status::ready);
    EXPECT_EQ(result.get(), 0);
}

}  // namespace
