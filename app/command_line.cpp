#include "app/command_line.h"

#include <utility>
#include <vector>

#include "endpoints/endpoints.h"
#include "patch/launch_switches.h"
#include "trusted_keys/trusted_keys.h"

PatchOptions LauncherOptions(std::string gameDir) {
    PatchOptions options;
    options.gameDir = std::move(gameDir);
    options.updateListUrl = valdora::UpdateListUrl();
    options.moreHosts = valdora::MorePatchHosts();
    options.serverListUrl = valdora::ServerListUrl();
    options.webSite = valdora::kWebHost;
    TrustKeys(options,
              std::vector<std::string>(valdora::kTrustedKeys.begin(), valdora::kTrustedKeys.end()));
    return options;
}

void CMyCommandLineInfo::ParseParam(std::string_view param, bool isSwitch, bool /*isLast*/) {
    if (!isSwitch) {
        plainArgument_ = param;
        return;
    }
    ReadLaunchSwitch(param, isSwitch, options_);
}

void ParseCommandLine(CMyCommandLineInfo& info, int argc, const char* const* argv) {
    for (int i = 1; i < argc; ++i) {
        const LaunchArgument argument = SplitLaunchArgument(argv[i]);
        info.ParseParam(argument.param, argument.isSwitch, i + 1 == argc);
    }
}
