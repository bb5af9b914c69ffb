#include "app/command_line.h"

#include <gtest/gtest.h>

#include <vector>

#include "app/globals.h"

namespace {

// Arguments -> the flags skip-patch, test-launcher, server-test as "spt".
TEST(CommandLine, SwitchTable) {
    const std::pair<std::vector<const char*>, const char*> cases[] = {
        {{}, "---"},
        {{"/SERVERTEST"}, "s-t"},
        {{"servertest"}, "---"},
        {{"-QmTr284"}, "s--"},
        {{"-test_launcher=1", "--servertest", "-"}, "---"},
        {{"-qmtr284", "/test_launcher"}, "sp-"},
        {{"game.pak", "-ServerTest", "-x"}, "s-t"},
        {{"-\xC4\xB0qmtr284"}, "---"}};
    for (const auto& [args, flags] : cases) {
        ResetLauncherGlobals();
        std::vector<const char*> argv{"launcher.exe"};
        argv.insert(argv.end(), args.begin(), args.end());
        CMyCommandLineInfo info;
        ParseCommandLine(info, static_cast<int>(argv.size()), argv.data());
        const std::string seen = {g_skipPatch ? 's' : '-', g_testLauncher ? 'p' : '-',
                                  g_serverTest ? 't' : '-'};
        EXPECT_EQ(seen, flags) << (args.empty() ? "" : args.front());
    }
    // The speed limit reaches the engine; one it cannot read, its log.
    const char* argv[] = {"launcher.exe", "/Limit_Rate=4m", "-limit_rate=4 M"};
    CMyCommandLineInfo info;
    ParseCommandLine(info, 3, argv);
    const PatchOptions options = MakePatchOptions(LauncherStartValues());
    EXPECT_EQ(options.maxRecvSpeed, 4u << 20);
    EXPECT_EQ(options.refusedLimitRate, "limit_rate=4 M");
    ResetLauncherGlobals();
}

}  // namespace
