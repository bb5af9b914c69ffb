#include "patch/patch_options.h"

#include <algorithm>
#include <ctime>

#include "net/easy_curl.h"
#include "patch/signed_release.h"
#include "platform/system_info.h"

namespace {

// The progress clock counts from the start of the process, not of the
// machine: differences are taken in signed 32 bits against marks that start
// at 0, so a count from boot would stop every progress post on a machine
// that has been up for more than 24.8 days.
const std::uint32_t kProcessStartTick = platform::tick_count();

}  // namespace

PatchOptions::PatchOptions()
    : clock([] { return platform::tick_count() - kProcessStartTick; }),
      unixTime([] { return static_cast<std::int64_t>(std::time(nullptr)); }) {}

void TrustKeys(PatchOptions& options, const std::vector<std::string>& keys) {
    options.signedOnly = !keys.empty();
    options.trustedKeys = ReadTrustedKeys(keys);
}

void ConfigureTransfer(talvo::utility::easy_curl& transfer, const PatchOptions& options) {
    transfer.web_only();  // the base URL is the list's word
    if (!options.caFile.empty()) transfer.add_ca_file(options.caFile);
    transfer.set_stall_limit(options.stallSeconds, SlowestSpeed(options));
}

long SlowestSpeed(const PatchOptions& options) {
    constexpr std::uint64_t kFloor = talvo::utility::kSlowestSpeed;
    if (options.limitRate == 0) return kFloor;
    // A quarter of each transfer's share of the cap is still a working one.
    const std::uint64_t share =
        options.limitRate / (4 * std::max<std::size_t>(options.maxTransfers, 1));
    return static_cast<long>(std::clamp<std::uint64_t>(share, 1, kFloor));
}
