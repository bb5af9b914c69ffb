// What a run needs besides its window, and where it comes from: the values a
// program starts the engine with (LaunchValues: the launcher's start-up makes
// them for its window, valdora-patch from its own command line), turned into
// the run's options in one place.
#pragma once

#include <boost/function.hpp>
#include <cstdint>
#include <string>
#include <vector>

#include "patch/launch_switches.h"
#include "trust/keys.h"

struct LaunchValues {
    LaunchSwitches switches;
    // The game directory in the file system's bytes.
    std::string gameDir;
    std::string updateListUrl;
    std::string serverListUrl;
    // scheme://host[:port] of the game's web site: the address named in the
    // too-much-to-download box, the host of the promotional pages.
    std::string webSite;
    // The publisher's public keys, minisign lines or files: the launcher's
    // compiled-in ones, or valdora-patch's --trusted-key files. With any, the
    // run takes only a site that one of them signed (signed_release.h).
    std::vector<std::string> trustedKeys;
    // Hash every listed file, also those whose size and time match, and
    // download those whose bytes are not the signed ones (valdora-patch
    // --verify). Only with trustedKeys.
    bool verifyAll = false;
    // A PEM file of certificate authorities that https transfers trust
    // besides the system's (valdora-patch --ca-file; tests). The launcher
    // never sets it.
    std::string caFile;
};

struct PatchOptions {
    bool skipPatch = false;     // compare and report, download nothing
    bool testLauncher = false;  // leave the launcher's own file out of the run
    bool serverTest = false;    // the server list from "serverlist.txt"
    // Made current before every group of file operations. Empty: the current
    // directory as it is.
    std::string gameDir;
    std::string serverListUrl;
    std::string webSite;
    // Milliseconds, wrapping at 2^32; by default since the process started.
    boost::function<std::uint32_t()> clock;
    // A signed site: the keys to check it with (none that read: every list
    // is refused), and every file hashed against its manifest line.
    bool signedOnly = false;
    std::vector<trust::PublicKey> trustedKeys;
    bool verifyAll = false;
    std::string caFile;
    // Seconds since 1970 UTC: the expiry of a signed list is judged by it.
    boost::function<std::int64_t()> unixTime;
    // The update list and the files: at most this many bytes a second (0:
    // no cap), and a transfer that gets less than SlowestSpeed() bytes a
    // second on average over stallSeconds has failed.
    std::uint64_t maxRecvSpeed = 0;
    long stallSeconds = 30;
    // At most this many requests in flight at once (1: one file after the
    // other, as the launcher always did).
    std::size_t maxTransfers = kDefaultTransfers;
    // A "limit_rate=" or "max_transfers=" switch that was ignored, logged
    // when the run starts.
    std::string refusedLimitRate;
    std::string refusedMaxTransfers;

    PatchOptions();
};

PatchOptions MakePatchOptions(const LaunchValues& values);

namespace talvo::utility {
class easy_curl;
}
// What every transfer of game files and their indexes shares: http and
// https alone, the authorities, the stall limit.
void ConfigureTransfer(talvo::utility::easy_curl& transfer, const PatchOptions& options);
// The slowest a transfer may go before it fails (easy_curl's kSlowestSpeed),
// lower under a speed cap that leaves each transfer in flight less.
long SlowestSpeed(const PatchOptions& options);
