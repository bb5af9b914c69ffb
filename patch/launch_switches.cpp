#include "patch/launch_switches.h"

#include <limits>

#include "platform/codepage.h"

namespace {

constexpr std::string_view kLimitRate = "limit_rate=";
constexpr std::string_view kMaxTransfersSwitch = "max_transfers=";

bool StartsWith(std::string_view param, std::string_view prefix) {
    return param.size() >= prefix.size() &&
           platform::equal_ignoring_ascii_case(param.substr(0, prefix.size()), prefix);
}

}  // namespace

bool ParseRate(std::string_view text, std::uint64_t& bytesPerSecond) {
    std::size_t digits = 0;
    std::uint64_t value = 0;
    constexpr std::uint64_t kMax = std::numeric_limits<std::int64_t>::max();
    for (; digits < text.size() && text[digits] >= '0' && text[digits] <= '9'; ++digits) {
        const unsigned digit = static_cast<unsigned>(text[digits] - '0');
        if (value > (kMax - digit) / 10) return false;
        value = value * 10 + digit;
    }
    const std::string_view unit = text.substr(digits);
    if (digits == 0 || unit.size() > 1) return false;
    int shift = 0;
    switch (unit.empty() ? 'b' : unit[0]) {
        case 'G':
        case 'g':
            shift = 30;
            break;
        case 'M':
        case 'm':
            shift = 20;
            break;
        case 'K':
        case 'k':
            shift = 10;
            break;
        case 'B':
        case 'b':
            break;
        default:
            return false;
    }
    if (value > kMax >> shift) return false;
    bytesPerSecond = value << shift;
    return true;
}

bool ParseTransfers(std::string_view text, std::size_t& transfers) {
    std::size_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9' || value > kMaxTransfers) return false;
        value = value * 10 + static_cast<std::size_t>(c - '0');
    }
    if (text.empty() || value < 1 || value > kMaxTransfers) return false;
    transfers = value;
    return true;
}

LaunchArgument SplitLaunchArgument(std::string_view argument) {
    const bool isSwitch = !argument.empty() && (argument[0] == '-' || argument[0] == '/');
    return {isSwitch ? argument.substr(1) : argument, isSwitch};
}

void ReadLaunchSwitch(std::string_view param, bool isSwitch, PatchOptions& options) {
    if (!isSwitch) return;
    if (platform::equal_ignoring_ascii_case(param, "qmtr284")) {
        options.skipPatch = true;
    } else if (platform::equal_ignoring_ascii_case(param, "test_launcher")) {
        options.testLauncher = true;
    } else if (platform::equal_ignoring_ascii_case(param, "servertest")) {
        options.skipPatch = true;
        options.serverTest = true;
    } else if (StartsWith(param, kLimitRate)) {
        if (!ParseRate(param.substr(kLimitRate.size()), options.limitRate)) {
            options.refusedLimitRate = param;
        }
    } else if (StartsWith(param, kMaxTransfersSwitch)) {
        if (!ParseTransfers(param.substr(kMaxTransfersSwitch.size()), options.maxTransfers)) {
            options.refusedMaxTransfers = param;
        }
    }
}

void ReadLaunchSwitches(const std::vector<std::string_view>& arguments, PatchOptions& options) {
    for (const std::string_view argument : arguments) {
        const LaunchArgument a = SplitLaunchArgument(argument);
        ReadLaunchSwitch(a.param, a.isSwitch, options);
    }
}
