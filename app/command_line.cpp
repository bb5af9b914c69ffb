#include "app/command_line.h"

#include "app/globals.h"

namespace {

bool equal_ignoring_case(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

}  // namespace

void CMyCommandLineInfo::ParseParam(std::string_view param, bool isSwitch, bool /*isLast*/) {
    if (!isSwitch) {
        plainArgument_ = param;
        return;
    }
    if (equal_ignoring_case(param, "qmtr284")) {
        g_skipPatch = true;
    } else if (equal_ignoring_case(param, "test_launcher")) {
        g_testLauncher = true;
    } else if (equal_ignoring_case(param, "servertest")) {
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
