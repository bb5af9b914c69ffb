// The signed manifest of a publication: the key, the release's version
// (only ever going up, so launchers refuse an old site replayed) and its
// expiry, worked out before anything is written.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "tools/valdora-publish/options.h"
#include "tools/valdora-publish/site_state.h"
#include "trust/keys.h"
#include "trust/release.h"

namespace publish {

struct SigningPlan {
    trust::SecretKey key;
    trust::ReleaseInfo release;  // version, "valdora", expiry
};

// The version of the release now on the site, from its signature's trusted
// comment; nullopt when the site has no signature. False with the reason
// when a signature is there but cannot be read.
bool SiteVersion(const std::filesystem::path& siteDir, std::optional<std::uint64_t>& version,
                 std::string& error);

// With --sign-key: reads the key and fixes the version (--version, never
// below any version the site ever carried; else the highest + 1)
// and the expiry. Without it: refuses over a site that was ever signed,
// unless --unsigned. `state` is what the site will have carried after the
// publication. Each reason to refuse goes to `problems`.
void PlanSigning(const Options& options, std::optional<SigningPlan>& plan, SiteState& state,
                 std::vector<std::string>& problems);

// A game-server list's signature lasts this long by default: servers come
// and go, so a list is signed again and again (sign-servers), each time for
// a short while, and an old one cannot be played back for long.
inline constexpr int kServerListDays = 7;

// The signature file of a server list's `text`, for `days` days from now:
// "version=NOW product=valdora-servers expires=...". False with the reason.
bool SignServerList(const trust::SecretKey& key, const std::string& text, int days,
                    std::string& signatureText, std::string& error);

// valdora-publish sign-servers FILE: checks the server list FILE as --pages
// does and writes its signature FILE.minisig with the secret key in
// `keyFile`. kRefused (nothing written) for a list the launcher would
// misread or a key that does not read.
Status SignServers(const std::filesystem::path& file, const std::filesystem::path& keyFile,
                   int days, std::ostream& report, std::ostream& errors);

// The signature file over `manifestText`. False with the reason.
bool SignManifest(const SigningPlan& plan, const std::string& manifestText,
                  std::string& signatureText, std::string& error);

}  // namespace publish
