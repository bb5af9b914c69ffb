// The launcher's three mode switches and their reading from a command line,
// shared by the launcher's start-up and valdora-patch.
#pragma once

#include <string_view>
#include <vector>

struct LaunchSwitches {
    bool testLauncher = false;  // "test_launcher": no self-update
    bool skipPatch = false;     // "qmtr284" and "servertest": nothing is downloaded
    bool serverTest = false;    // "servertest": the server list from "serverlist.txt"
};

// One argument as the launcher reads it: a switch when it begins with "-" or
// "/", `param` being the text after that character.
struct LaunchArgument {
    std::string_view param;
    bool isSwitch = false;
};
LaunchArgument SplitLaunchArgument(std::string_view argument);

// A switch is compared whole, ignoring ASCII case, with "qmtr284",
// "test_launcher" and "servertest", in that order; the first match sets its
// flags. Flags are only ever set; anything else changes nothing.
void ReadLaunchSwitch(std::string_view param, bool isSwitch, LaunchSwitches& switches);

// The switches among `arguments` (those after the program name).
LaunchSwitches ParseLaunchSwitches(const std::vector<std::string_view>& arguments);
