#include "tools/valdora-publish/site_state.h"

#include <algorithm>
#include <optional>
#include <sstream>

#include "tools/valdora-publish/signing.h"
#include "tools/valdora-publish/text_file.h"

namespace publish {

namespace fs = std::filesystem;

bool ReadSiteState(const fs::path& siteDir, SiteState& state, std::string& error) {
    state = SiteState();
    std::optional<std::uint64_t> signedVersion;
    if (!SiteVersion(siteDir, signedVersion, error)) return false;
    std::string text;
    std::error_code ec;
    if (fs::exists(fs::symlink_status(siteDir / kStatePath, ec)) &&
        !ReadText(siteDir / kStatePath, text)) {
        error = (siteDir / kStatePath).string() + ": cannot be read";
        return false;
    }
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (line.empty() || line[0] == '#') continue;
        if (line == "signed=yes") {
            state.everSigned = true;
        } else if (line.rfind("version=", 0) == 0 && line.size() > 8 && line.size() <= 27 &&
                   line.find_first_not_of("0123456789", 8) == std::string::npos) {
            state.highestVersion = std::stoull(line.substr(8));
        } else {
            error = (siteDir / kStatePath).string() + ": cannot read \"" + line + "\"";
            return false;
        }
    }
    if (signedVersion) {
        state.everSigned = true;
        state.highestVersion = std::max(state.highestVersion, *signedVersion);
    }
    return true;
}

std::string FormatSiteState(const SiteState& state) {
    std::string text = "# valdora-publish: what this site has carried (do not edit)\n";
    if (state.everSigned) text += "signed=yes\n";
    return text + "version=" + std::to_string(state.highestVersion) + "\n";
}

}  // namespace publish
