#include "patch/launch_switches.h"

#include "platform/codepage.h"

LaunchArgument SplitLaunchArgument(std::string_view argument) {
    const bool isSwitch = !argument.empty() && (argument[0] == '-' || argument[0] == '/');
    return {isSwitch ? argument.substr(1) : argument, isSwitch};
}

void ReadLaunchSwitch(std::string_view param, bool isSwitch, LaunchSwitches& switches) {
    if (!isSwitch) return;
    if (platform::equal_ignoring_ascii_case(param, "qmtr284")) {
        switches.skipPatch = true;
    } else if (platform::equal_ignoring_ascii_case(param, "test_launcher")) {
        switches.testLauncher = true;
    } else if (platform::equal_ignoring_ascii_case(param, "servertest")) {
        switches.skipPatch = true;
        switches.serverTest = true;
    }
}

LaunchSwitches ParseLaunchSwitches(const std::vector<std::string_view>& arguments) {
    LaunchSwitches switches;
    for (const std::string_view argument : arguments) {
        const LaunchArgument a = SplitLaunchArgument(argument);
        ReadLaunchSwitch(a.param, a.isSwitch, switches);
    }
    return switches;
}
