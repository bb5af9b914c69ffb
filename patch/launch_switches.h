// The launcher's switches, read from a command line straight into the
// configuration record (patch_options.h); the launcher's start-up and
// valdora-patch read them alike.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "patch/patch_options.h"

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
// flags in `options`. Flags are only ever set; anything else changes
// nothing. A switch that begins with "limit_rate=" (case ignored) sets
// limitRate, or records itself as refused when its RATE is no rate;
// "max_transfers=" likewise.
void ReadLaunchSwitch(std::string_view param, bool isSwitch, PatchOptions& options);

// The switches among `arguments` (those after the program name), in order.
void ReadLaunchSwitches(const std::vector<std::string_view>& arguments, PatchOptions& options);
