// valdora-publish: publishes a game build as a patch site.
//
//   valdora-publish GAME_BUILD_DIR SITE_DIR --base-url URL [--note TEXT]
//                   [--launcher FILE] [--pages TEMPLATE_DIR]
//
// Exit status: 0 published; 1 refused (nothing written); 2 the site could
// not be written (left as it was); 64 bad usage.
#include <cstring>
#include <iostream>
#include <string>

#include "tools/valdora-publish/publisher.h"

namespace {

constexpr const char* kUsage =
    "usage: valdora-publish GAME_BUILD_DIR SITE_DIR --base-url URL [--note TEXT]\n"
    "                       [--launcher FILE] [--pages TEMPLATE_DIR]\n"
    "\n"
    "Writes SITE_DIR/Patcher/1000_1.0.0.1_Update.txt and the game files under the\n"
    "base URL's folder of SITE_DIR, ready for a static web server (deploy/).\n"
    "  --base-url URL        where the launcher finds the files, e.g. http://host/game\n"
    "  --note TEXT           the list's second line (default: the date)\n"
    "  --launcher FILE       a new launcher, published as _launcher.dll\n"
    "  --pages TEMPLATE_DIR  also writes serverlist_test.aspx and LauncherPromo1-3.aspx\n"
    "                        from the templates there (deploy/pages)\n";

int usage(const char* problem) {
    if (problem != nullptr) std::cerr << "valdora-publish: " << problem << "\n";
    std::cerr << kUsage;
    return publish::kUsage;
}

}  // namespace

int main(int argc, char** argv) {
    publish::Options options;
    int positional = 0;
    bool baseUrlGiven = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::cout << kUsage;
            return 0;
        }
        if (arg == "--base-url" || arg == "--note" || arg == "--launcher" || arg == "--pages") {
            if (i + 1 == argc) return usage((arg + " needs a value").c_str());
            const std::string value = argv[++i];
            if (arg == "--base-url") {
                options.baseUrl = value;
                baseUrlGiven = true;
            } else if (arg == "--note") {
                options.note = value;
                options.noteGiven = true;
            } else if (arg == "--launcher") {
                options.launcher = value;
            } else {
                options.pageTemplates = value;
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
    return publish::Publish(options, std::cout, std::cerr);
}
