// The launcher's configuration: one record, made once and handed down whole.
// The launcher's start-up makes it from the compiled-in endpoints and keys,
// the game directory and the command line (launch_switches.h), valdora-patch
// from its own options; the window keeps it and gives the run it starts
// (PatchDownloader) a copy, which the run reads and nothing else. No field
// is copied into another on the way.
//
// The launcher's process-wide values are fields here: g_testLauncher,
// g_skipPatch, g_serverTest, g_gameDir, g_updateListUrl and g_serverListUrl
// are testLauncher, skipPatch, serverTest, gameDir, updateListUrl and
// serverListUrl.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "trust/keys.h"

// Requests in flight at once: by default, and at most ("max_transfers=").
inline constexpr std::size_t kDefaultTransfers = 8;
inline constexpr std::size_t kMaxTransfers = 16;

struct PatchOptions {
    // The switches of the command line.
    bool testLauncher = false;  // "test_launcher": no self-update, the launcher's own file left out
    bool skipPatch = false;     // "qmtr284" and "servertest": compare and report, download nothing
    bool serverTest = false;    // "servertest": the server list from "serverlist.txt"
    // "limit_rate=RATE": the downloads, all together, at most RATE bytes a
    // second (0: no limit), as libcurl is told.
    std::uint64_t limitRate = 0;
    // "max_transfers=N": at most N requests in flight at once (1 to
    // kMaxTransfers; 1 fetches one file after the other, as the launcher
    // always did).
    std::size_t maxTransfers = kDefaultTransfers;
    // The whole switch of a "limit_rate=" or "max_transfers=" whose value
    // could not be read: ignored, and logged when the run starts. Empty when
    // there was none.
    std::string refusedLimitRate;
    std::string refusedMaxTransfers;

    // The game directory in the file system's bytes, made current before
    // every group of file operations. Empty: the current directory as it is.
    std::string gameDir;
    std::string updateListUrl;
    std::string serverListUrl;
    // Further patch hosts ("scheme://host[:port]", compiled in after the
    // first): asked for the update list when the first cannot give it, and
    // for files as a signed release's mirrors are.
    std::vector<std::string> moreHosts;
    // Told of every request a host served whole (valdora-patch --show-hosts):
    // its URL, and the bytes it gave (0 for the update list).
    std::function<void(const std::string& url, std::uint64_t bytes)> served;
    // scheme://host[:port] of the game's web site: the address named in the
    // too-much-to-download box, the host of the promotional pages.
    std::string webSite;
    // A signed site (TrustKeys): the keys to check it with (none that read:
    // every list is refused), and every file hashed against its manifest
    // line.
    bool signedOnly = false;
    std::vector<trust::PublicKey> trustedKeys;
    // Hash every listed file, also those whose size and time match, and
    // download those whose bytes are not the signed ones (valdora-patch
    // --verify). Only on a signed site.
    bool verifyAll = false;
    // A PEM file of certificate authorities that https transfers trust
    // besides the system's (valdora-patch --ca-file; tests). The launcher
    // never sets it.
    std::string caFile;

    // Milliseconds, wrapping at 2^32; by default since the process started.
    std::function<std::uint32_t()> clock;
    // Seconds since 1970 UTC: the expiry of a signed list is judged by it.
    std::function<std::int64_t()> unixTime;
    // A transfer that gets less than SlowestSpeed() bytes a second on
    // average over stallSeconds has failed.
    long stallSeconds = 30;

    PatchOptions();
};

// The publisher's public keys, minisign lines or the texts of .pub files:
// with any, the run takes only a site that one of them signed
// (signed_release.h). A key that does not read is left out, never the
// check: with none left, every list is refused.
void TrustKeys(PatchOptions& options, const std::vector<std::string>& keys);

namespace talvo::utility {
class easy_curl;
}
// What every transfer of game files and their indexes shares: http and
// https alone, the authorities, the stall limit.
void ConfigureTransfer(talvo::utility::easy_curl& transfer, const PatchOptions& options);
// The slowest a transfer may go before it fails (easy_curl's kSlowestSpeed),
// lower under a speed cap that leaves each transfer in flight less.
long SlowestSpeed(const PatchOptions& options);
