// The launcher's three mode switches and their reading from a command line,
// shared by the launcher's start-up and valdora-patch.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

inline constexpr std::size_t kDefaultTransfers = 8;
inline constexpr std::size_t kMaxTransfers = 16;

struct LaunchSwitches {
    bool testLauncher = false;  // "test_launcher": no self-update
    bool skipPatch = false;     // "qmtr284" and "servertest": nothing is downloaded
    bool serverTest = false;    // "servertest": the server list from "serverlist.txt"
    // "limit_rate=RATE": downloads at most RATE bytes a second (0: no cap).
    std::uint64_t limitRate = 0;
    // The whole switch of a "limit_rate=" whose RATE could not be read (it
    // is ignored; the run logs it). Empty when there was none.
    std::string refusedLimitRate;
    // "max_transfers=N": at most N requests in flight at once (1 to
    // kMaxTransfers; 1 fetches one file after the other).
    std::size_t maxTransfers = kDefaultTransfers;
    std::string refusedMaxTransfers;  // as refusedLimitRate
};

// A rate as curl's --limit-rate reads it: decimal digits and at most one
// unit, K, M or G (1024, 1024^2, 1024^3; B or none: bytes), in either case.
// False for anything else, a sign, a fraction or a value past 2^63 - 1
// included; 0 is no limit.
bool ParseRate(std::string_view text, std::uint64_t& bytesPerSecond);

// A number of transfers: decimal digits, 1 to kMaxTransfers.
bool ParseTransfers(std::string_view text, std::size_t& transfers);

// One argument as the launcher reads it: a switch when it begins with "-" or
// "/", `param` being the text after that character.
struct LaunchArgument {
    std::string_view param;
    bool isSwitch = false;
};
LaunchArgument SplitLaunchArgument(std::string_view argument);

// A switch is compared whole, ignoring ASCII case, with "qmtr284",
// "test_launcher" and "servertest", in that order; the first match sets its
// flags. Flags are only ever set; anything else changes nothing. A switch
// that begins with "limit_rate=" (case ignored) sets the rate, or records
// itself as refused when its RATE is no rate; "max_transfers=" likewise.
void ReadLaunchSwitch(std::string_view param, bool isSwitch, LaunchSwitches& switches);

// The switches among `arguments` (those after the program name).
LaunchSwitches ParseLaunchSwitches(const std::vector<std::string_view>& arguments);
