#include "app/command_line.h"

#include "app/globals.h"
#include "patch/launch_switches.h"

void CMyCommandLineInfo::ParseParam(std::string_view param, bool isSwitch, bool /*isLast*/) {
    if (!isSwitch) {
        plainArgument_ = param;
        return;
    }
    LaunchSwitches switches{g_testLauncher,     g_skipPatch,    g_serverTest,         g_limitRate,
                            g_refusedLimitRate, g_maxTransfers, g_refusedMaxTransfers};
    ReadLaunchSwitch(param, isSwitch, switches);
    g_testLauncher = switches.testLauncher;
    g_skipPatch = switches.skipPatch;
    g_serverTest = switches.serverTest;
    g_limitRate = switches.limitRate;
    g_refusedLimitRate = switches.refusedLimitRate;
    g_maxTransfers = switches.maxTransfers;
    g_refusedMaxTransfers = switches.refusedMaxTransfers;
}

void ParseCommandLine(CMyCommandLineInfo& info, int argc, const char* const* argv) {
    for (int i = 1; i < argc; ++i) {
        const LaunchArgument argument = SplitLaunchArgument(argv[i]);
        info.ParseParam(argument.param, argument.isSwitch, i + 1 == argc);
    }
}
