#include "app/command_line.h"

#include <gtest/gtest.h>

#include <vector>

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
        std::vector<const char*> argv{"launcher.exe"};
        argv.insert(argv.end(), args.begin(), args.end());
        PatchOptions options;
        CMyCommandLineInfo info(options);
        ParseCommandLine(info, static_cast<int>(argv.size()), argv.data());
        const std::string seen = {options.skipPatch ? 's' : '-', options.testLauncher ? 'p' : '-',
                                  options.serverTest ? 't' : '-'};
        EXPECT_EQ(seen, flags) << (args.empty() ? "" : args.front());
    }
    // The speed limit reaches the engine; one it cannot read, its log.
    const char* argv[] = {"launcher.exe", "/Limit_Rate=4m", "-limit_rate=4 M"};
    PatchOptions options = LauncherOptions("game");
    CMyCommandLineInfo info(options);
    ParseCommandLine(info, 3, argv);
    EXPECT_EQ(options.limitRate, 4u << 20);
    EXPECT_EQ(options.refusedLimitRate, "limit_rate=4 M");
}

}  // namespace
