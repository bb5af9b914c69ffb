#include "app/command_line.h"

#include <gtest/gtest.h>

#include <vector>

#include "app/globals.h"

namespace {

struct Case {
    std::vector<const char*> args;
    bool skipPatch;
    bool testLauncher;
    bool serverTest;
};

TEST(CommandLine, SwitchTable) {
    const Case cases[] = {
        {{}, false, false, false},
        {{"/SERVERTEST"}, true, false, true},
        {{"servertest"}, false, false, false},
        {{"-test_launcher=1"}, false, false, false},
        {{"-qmtr284", "-test_launcher"}, true, true, false},
        {{"-QmTr284"}, true, false, false},
        {{"/test_launcher"}, false, true, false},
        {{"--servertest"}, false, false, false},
        {{"-"}, false, false, false},
        {{"game.pak", "-servertest", "x", "-unknown"}, true, false, true},
        {{"-ServerTest", "-qmtr284"}, true, false, true},
        {{"-\xC4\xB0qmtr284"}, false, false, false},
    };
    for (const auto& c : cases) {
        ResetLauncherGlobals();
        std::vector<const char*> argv{"launcher.exe"};
        std::string trace;
        for (const char* a : c.args) {
            argv.push_back(a);
            trace += std::string(a) + " ";
        }
        SCOPED_TRACE(trace);
        CMyCommandLineInfo info;
        ParseCommandLine(info, static_cast<int>(argv.size()), argv.data());
        EXPECT_EQ(g_skipPatch, c.skipPatch);
        EXPECT_EQ(g_testLauncher, c.testLauncher);
        EXPECT_EQ(g_serverTest, c.serverTest);
    }
    ResetLauncherGlobals();
}

}  // namespace
