#include "app/command_line.h"

#include "app/globals.h"
#include "platform/codepage.h"

using platform::equals_ignoring_ascii_case;

void CMyCommandLineInfo::ParseParam(std::string_view param, bool isSwitch, bool /*isLast*/) {
    if (!isSwitch) {
        plainArgument_ = param;
        return;
    }
    if (equals_ignoring_ascii_case(param, "qmtr284")) {
        g_skipPatch = true;
    } else if (equals_ignoring_ascii_case(param, "test_launcher")) {
        g_testLauncher = true;
    } else if (equals_ignoring_ascii_case(param, "servertest")) {
        g_skipPatch = true;
        g_serverTest = true;
    }
}

void ParseCommandLine(CMyCommandLineInfo& info, int argc, const char* const* argv) {
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        const bool isSwitch = !arg.empty() && (arg[0] == '-' || arg[0] == '/');
        if (isSwitch) arg.remove_prefix(1);
        info.ParseParam(arg, isSwitch, i + 1 == argc);
    }
}
