// What a site has carried, kept in the site itself so that no later
// publication can lock players out: whether it was ever signed, and the
// highest version it ever carried. A signature file can be lost or taken
// away; launchers with keys keep refusing anything below the version they
// took, and anything unsigned.
//
//   # valdora-publish: what this site has carried (do not edit)
//   signed=yes
//   version=7
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace publish {

// In the site's root; the shipped nginx configuration serves nothing whose
// name begins ".valdora-publish-".
inline constexpr const char* kStatePath = ".valdora-publish-state";

struct SiteState {
    bool everSigned = false;
    std::uint64_t highestVersion = 0;
};

// The site's state, with what its signature shows (an older publisher kept
// no state file). False with the reason when the file is there but does not
// read.
bool ReadSiteState(const std::filesystem::path& siteDir, SiteState& state, std::string& error);
std::string FormatSiteState(const SiteState& state);

}  // namespace publish
