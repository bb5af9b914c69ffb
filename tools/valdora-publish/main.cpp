// valdora-publish: publishes a game build as a patch site (kUsage below).
//
// Exit status: 0 published; 1 refused (nothing written); 2 the site could
// not be written (left as it was); 64 bad usage.
#include <cstring>
#include <iostream>
#include <string>

#include "tools/valdora-publish/keygen.h"
#include "tools/valdora-publish/publisher.h"
#include "tools/valdora-publish/signing.h"

namespace {

constexpr const char* kUsage =
    "usage: valdora-publish GAME_BUILD_DIR SITE_DIR --base-url URL [--note TEXT]\n"
    "                       [--launcher FILE [--keyless-launcher]] [--pages TEMPLATE_DIR]\n"
    "                       [--sign-key FILE [--version N] [--expires-in DAYS] | --unsigned]\n"
    "                       [--mirror URL]... [--replace]\n"
    "       valdora-publish keygen DIR\n"
    "       valdora-publish sign-servers FILE --sign-key FILE [--expires-in DAYS]\n"
    "       valdora-publish --help\n"
    "\n"
    "Writes SITE_DIR/Patcher/1000_1.0.0.1_Update.txt, the manifest of hashes beside it\n"
    "(.sha256) and the game files in a new release folder below the base URL's folder of\n"
    "SITE_DIR, ready for any static web server.\n"
    "  --base-url URL        where the launcher finds the files, e.g. http://host/game\n"
    "  --note TEXT           the list's second line (default: the date)\n"
    "  --launcher FILE       a new launcher, published as _launcher.dll; signed only when it\n"
    "                        trusts the signing key\n"
    "  --keyless-launcher    sign a launcher that trusts no key all the same\n"
    "  --pages TEMPLATE_DIR  also writes serverlist_test.aspx and LauncherPromo1-3.aspx\n"
    "                        from the templates there (/usr/share/valdora-patch-server/pages)\n"
    "  --sign-key FILE       signs the manifest (.sha256.minisig) with this secret key\n"
    "  --version N           the signed release's version (default: the highest the site\n"
    "                        ever carried + 1; never lower)\n"
    "  --expires-in DAYS     launchers refuse the signed release after DAYS days\n"
    "  --unsigned            publish without a signature over a site that was signed\n"
    "  --mirror URL          a copy of the whole site (another server, an object store, a\n"
    "                        CDN), named in the signed release; repeatable, up to 32\n"
    "  --replace             publish over a site that holds another game\n"
    "keygen DIR writes a new key pair, DIR/valdora.key (secret) and DIR/valdora.pub.\n"
    "sign-servers FILE signs the server list FILE (FILE.minisig) for DAYS days (7); with\n"
    "--sign-key and --pages the site's server list is signed so. Launchers built with keys\n"
    "take a server list over http only with a signature that has not expired.\n"
    "Exit status: 0 published, 1 refused (nothing written), 2 the site could not be\n"
    "written (left as it was), 64 bad usage.\n";

int usage(const char* problem) {
    if (problem != nullptr) std::cerr << "valdora-publish: " << problem << "\n";
    std::cerr << kUsage;
    return publish::kUsage;
}

// Digits only, no more than `max`.
bool ReadNumber(const std::string& text, std::uint64_t max, std::uint64_t& value) {
    if (text.empty() || text.size() > 19 || text.find_first_not_of("0123456789") != text.npos) {
        return false;
    }
    value = std::stoull(text);
    return value <= max;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "sign-servers") == 0) {
        std::string file, key;
        std::uint64_t days = publish::kServerListDays;
        for (int i = 2; i < argc; ++i) {
            const std::string arg = argv[i];
            if ((arg == "--sign-key" || arg == "--expires-in") && i + 1 < argc) {
                const std::string value = argv[++i];
                if (arg == "--sign-key") {
                    key = value;
                } else if (!ReadNumber(value, 366, days) || days == 0) {
                    return usage("--expires-in: a number of days from 1 to 366");
                }
            } else if (file.empty() && arg.rfind("--", 0) != 0) {
                file = arg;
            } else {
                return usage(("sign-servers: unexpected " + arg).c_str());
            }
        }
        if (file.empty() || key.empty()) return usage("sign-servers needs FILE and --sign-key");
        return publish::SignServers(file, key, static_cast<int>(days), std::cout, std::cerr);
    }
    if (argc >= 2 && std::strcmp(argv[1], "keygen") == 0) {
        if (argc != 3) return usage("keygen needs DIR and nothing else");
        return publish::Keygen(argv[2], std::cout, std::cerr);
    }
    publish::Options options;
    int positional = 0;
    bool baseUrlGiven = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::cout << kUsage;
            return 0;
        }
        if (arg == "--unsigned" || arg == "--replace" || arg == "--keyless-launcher") {
            bool& flag = arg == "--unsigned"  ? options.unsignedAllowed
                         : arg == "--replace" ? options.replace
                                              : options.keylessLauncher;
            flag = true;
            continue;
        }
        if (arg == "--base-url" || arg == "--note" || arg == "--launcher" || arg == "--pages" ||
            arg == "--sign-key" || arg == "--version" || arg == "--expires-in" ||
            arg == "--mirror") {
            if (i + 1 == argc) return usage((arg + " needs a value").c_str());
            const std::string value = argv[++i];
            std::uint64_t number = 0;
            if (arg == "--base-url") {
                options.baseUrl = value;
                baseUrlGiven = true;
            } else if (arg == "--note") {
                options.note = value;
                options.noteGiven = true;
            } else if (arg == "--launcher") {
                options.launcher = value;
            } else if (arg == "--pages") {
                options.pageTemplates = value;
            } else if (arg == "--sign-key") {
                options.signKey = value;
            } else if (arg == "--mirror") {
                options.mirrors.push_back(value);
            } else if (arg == "--version") {
                if (!ReadNumber(value, trust::kMaxVersion, number)) {
                    return usage("--version: a number up to 2^53");
                }
                options.version = number;
            } else {
                if (!ReadNumber(value, 36500, number) || number == 0) {
                    return usage("--expires-in: a number of days from 1 to 36500");
                }
                options.expiresInDays = static_cast<int>(number);
            }
        } else if (arg.rfind("--", 0) == 0) {
            return usage(("unknown option " + arg).c_str());
        } else if (positional == 0) {
            options.gameBuildDir = arg;
            ++positional;
        } else if (positional == 1) {
            options.siteDir = arg;
            ++positional;
        } else {
            return usage("too many arguments");
        }
    }
    if (positional != 2) return usage("GAME_BUILD_DIR and SITE_DIR are needed");
    if (!baseUrlGiven) return usage("--base-url is needed");
    if (options.signKey.empty() && (options.version || options.expiresInDays)) {
        return usage("--version and --expires-in need --sign-key");
    }
    if (!options.signKey.empty() && options.unsignedAllowed) {
        return usage("--sign-key and --unsigned contradict each other");
    }
    return publish::Publish(options, std::cout, std::cerr);
}
