// valdora-patch: one patch run of the current directory (the game
// directory) without a window, for servers, scripts and benchmarks.
//
//   valdora-patch [--update-list URL] [--server-list URL] [--server-wait SECONDS]
//                 [--limit-rate RATE] [--max-transfers N] [--trusted-key FILE]... [--verify]
//                 [--ca-file FILE] [--fallback-host URL]... [--show-hosts]
//                 [-qmtr284] [-test_launcher] [-servertest]
//
// RATE caps the downloads in bytes a second, all together, as curl's
// --limit-rate reads it (K, M or G for 1024, 1024^2, 1024^3). N requests
// at most are in flight at once (1 to 16, default 8; 1 fetches one file
// after the other). Proxies come from http_proxy, https_proxy and no_proxy.
//
// --trusted-key takes the publisher's public key (a minisign .pub file or its
// key line) in place of the compiled-in ones; with any key, only a signed
// site is taken. --verify hashes every listed file and downloads those whose
// bytes are not the signed ones. --ca-file trusts the certificate
// authorities of a PEM file for https besides the system's (on Windows in
// place of the system's store). --fallback-host names a further host (a
// copy of the site) asked when the first cannot give the update list, in
// place of the compiled-in ones; --show-hosts prints each request a host
// served whole, with its bytes, on stderr.
//
// Exit status: 0 the run is ready and every due file is in place (in the
// skip-patch modes, ready is enough); 4 ready after a failed transfer or
// write, or a file that was not the signed one; 1 a faulty or refused
// update list or "~temp.dat" failure; 2 too much to download (also when a
// server that will not give ranges leaves whole files past the limit); 3 the
// launcher's own update is due (hand-over); 5 no server list within
// --server-wait seconds (default 60); 64 bad usage; 130 or 143 stopped by
// SIGINT or SIGTERM before the run ended (it says so, and ends).
//
// VALDORA_STALL_SECONDS=N (for tests) fails a transfer that gets less than
// the floor's bytes a second over N seconds instead of 30.
#include <charconv>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "endpoints/endpoints.h"
#include "net/easy_curl.h"
#include "patch/launch_switches.h"
#include "patch/mirror_list.h"
#include "patch/patch_downloader.h"
#include "platform/file.h"
#include "platform/terminal.h"
#include "terminal_report.h"
#include "trust/keys.h"
#include "trusted_keys/trusted_keys.h"

namespace {

volatile std::sig_atomic_t g_signal = 0;

void on_signal(int signal) {
    g_signal = signal;
}

constexpr const char* kUsage =
    "usage: valdora-patch [--update-list URL] [--server-list URL] [--server-wait SECONDS]\n"
    "                     [--limit-rate RATE] [--max-transfers N] [--trusted-key FILE]...\n"
    "                     [--verify] [--ca-file FILE] [--fallback-host URL]... [--show-hosts]\n"
    "                     [-qmtr284] [-test_launcher] [-servertest]\n";

constexpr const char* kHelp =
    "\n"
    "Brings the current directory (a Valdora game directory) up to date from the patch\n"
    "server, as the launcher does, and prints the server list.\n"
    "  --update-list URL     the update list instead of the compiled-in one\n"
    "  --server-list URL     the server list instead of the compiled-in one\n"
    "  --server-wait SECONDS how long to keep asking for the server list (default 60)\n"
    "  --limit-rate RATE     at most RATE bytes a second, all downloads together: 512K, 4M\n"
    "  --max-transfers N     at most N requests in flight at once, 1 to 16 (default 8;\n"
    "                        1 fetches one file after the other)\n"
    "  --trusted-key FILE    the publisher's public key (valdora.pub) instead of the\n"
    "                        built-in ones; twice while keys change\n"
    "  --verify              hash every file and fetch those that are not the signed ones\n"
    "  --ca-file FILE        trust a PEM file's certificate authorities for https too\n"
    "  --fallback-host URL   a copy of the site asked when the patch server cannot give\n"
    "                        the update list, and for files as mirrors are; repeatable,\n"
    "                        in place of the built-in ones\n"
    "  --show-hosts          print on stderr each request a host served, with its bytes\n"
    "  -qmtr284              check the files, download nothing\n"
    "  -test_launcher        leave the launcher's own update (_launcher.dll) alone\n"
    "  -servertest           download nothing; the server list from serverlist.txt\n"
    "  -h, --help            this text\n"
    "Proxies come from http_proxy, https_proxy and no_proxy.\n"
    "Exit status: 0 up to date; 1 a faulty or refused update list, or ~temp.dat not\n"
    "creatable; 2 too much to download (reinstall); 3 a new launcher waits for\n"
    "launch_helper.exe; 4 a file could not be fetched or written, or was not the signed\n"
    "one; 5 no server list within --server-wait; 64 bad usage; 130, 143 stopped by\n"
    "SIGINT, SIGTERM before the run ended.\n";

int usage() {
    std::fputs(kUsage, stderr);
    return 64;
}

// A public key file (or its key line) for --trusted-key; false, said why.
bool read_key_file(const char* path, std::string& text) {
    trust::PublicKey key;
    std::string error;
    if (platform::read_file(path, text) && trust::ReadPublicKey(text, key, error)) return true;
    std::fprintf(stderr, "valdora-patch: --trusted-key %s: %s\n", path,
                 error.empty() ? "cannot be read" : error.c_str());
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    PatchOptions values;
    values.updateListUrl = valdora::UpdateListUrl();
    values.serverListUrl = valdora::ServerListUrl();
    values.webSite = valdora::kWebHost;
    values.moreHosts = valdora::MorePatchHosts();
    std::vector<std::string> fallbacks;
    std::vector<std::string> keys(valdora::kTrustedKeys.begin(), valdora::kTrustedKeys.end());
    std::vector<std::string> keyFiles;
    std::vector<std::string_view> switches;
    unsigned serverWait = 60;
    std::uint64_t limitRate = 0;
    bool limitGiven = false;
    std::size_t transfers = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--update-list" || arg == "--server-list" || arg == "--server-wait" ||
            arg == "--trusted-key" || arg == "--ca-file" || arg == "--fallback-host") {
            if (i + 1 == argc) return usage();
            const std::string_view value = argv[++i];
            if (arg == "--server-wait") {
                const auto end = value.data() + value.size();
                if (value.empty() || std::from_chars(value.data(), end, serverWait).ptr != end) {
                    return usage();
                }
            } else if (arg == "--trusted-key") {
                if (!read_key_file(argv[i], keyFiles.emplace_back())) return 64;
            } else if (arg == "--fallback-host") {
                if (!MirrorUrlRefusal(value).empty()) return usage();
                fallbacks.emplace_back(value);
            } else {
                (arg == "--update-list"   ? values.updateListUrl
                 : arg == "--server-list" ? values.serverListUrl
                                          : values.caFile) = value;
            }
        } else if (arg == "--verify") {
            values.verifyAll = true;
        } else if (arg == "--show-hosts") {
            values.served = [](const std::string& url, std::uint64_t bytes) {
                std::fprintf(stderr, "served: %s (%llu bytes)\n", url.c_str(),
                             static_cast<unsigned long long>(bytes));
            };
        } else if (arg == "--limit-rate") {
            if (i + 1 == argc) return usage();
            const std::string_view rate = argv[++i];
            limitGiven = true;
            if (!ParseRate(rate, limitRate)) {
                std::fprintf(stderr,
                             "valdora-patch: --limit-rate %.*s: not a rate (bytes a second, "
                             "with K, M or G: 512K, 4M)\n",
                             static_cast<int>(rate.size()), rate.data());
                return 64;
            }
        } else if (arg == "--max-transfers") {
            if (i + 1 == argc) return usage();
            if (!ParseTransfers(argv[++i], transfers)) {
                std::fprintf(stderr,
                             "valdora-patch: --max-transfers %s: not a number from 1 to %zu\n",
                             argv[i], kMaxTransfers);
                return 64;
            }
        } else if (arg == "--help" || arg == "-h") {
            std::printf("%s%s", kUsage, kHelp);
            return 0;
        } else {
            switches.push_back(arg);  // the launcher's own, read the launcher's way
        }
    }
    if (!keyFiles.empty()) keys = keyFiles;
    if (!fallbacks.empty()) values.moreHosts = fallbacks;
    if (values.verifyAll && keys.empty()) {
        std::fprintf(stderr,
                     "valdora-patch: --verify checks files against a signed site: it "
                     "needs a trusted key (--trusted-key FILE, or built in)\n");
        return 64;
    }
    TrustKeys(values, keys);
    ReadLaunchSwitches(switches, values);
    if (limitGiven) values.limitRate = limitRate;
    if (transfers != 0) values.maxTransfers = transfers;
    values.gameDir = platform::current_directory();

    talvo::utility::init_library();
    TerminalReport report(stdout, platform::open_terminal(stdout));
    // Tests shorten the stall window; everyone else keeps the launcher's.
    if (const char* stall = std::getenv("VALDORA_STALL_SECONDS"); stall != nullptr) {
        const std::string_view text = stall;
        long seconds = 0;
        const auto end = text.data() + text.size();
        if (std::from_chars(text.data(), end, seconds).ptr == end && seconds > 0) {
            values.stallSeconds = seconds;
        }
    }
    PatchDownloader downloader(&report, values);

    std::signal(SIGINT, on_signal);
    std::signal(SIGTERM, on_signal);
    downloader.Start();
    bool gaveUp = false;
    while (!downloader.WaitForEnd(std::chrono::milliseconds(100))) {
        const auto asked = report.waiting_for_servers_since();
        if (asked &&
            std::chrono::steady_clock::now() - *asked >= std::chrono::seconds(serverWait)) {
            // Unlike the window, a script must not wait for ever.
            gaveUp = true;
            report.give_up();
        }
        if (g_signal != 0 || gaveUp) downloader.RequestStop();
    }
    downloader.Stop();
    if (g_signal != 0 && !gaveUp) {
        // A stopped run posts nothing more: no "up to date", no servers.
        report.give_up();
        std::fprintf(stderr, "valdora-patch: stopped by %s before the run ended\n",
                     g_signal == SIGINT ? "SIGINT" : "SIGTERM");
        return 128 + g_signal;
    }
    if (gaveUp) {
        std::fprintf(stderr, "valdora-patch: no server list from %s within %u s\n",
                     values.serverListUrl.c_str(), serverWait);
        return 5;
    }
    // The run's memory (a list of 100,000 files, say) goes with the process
    // at once rather than entry by entry: exit() runs no destructor of main's.
    std::exit(report.exit_status(values.skipPatch || downloader.AllDueFilesDone()));
}
