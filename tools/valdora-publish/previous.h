// The release a site holds before a publication: where its files lie and
// what each one was, so the next release can share its unchanged files,
// move a changed file's time where launchers see it, and leave the
// previous files in place for players still fetching them.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>

#include "trust/manifest.h"
#include "trust/sha256.h"

namespace publish {

// The release folders valdora-publish writes below the base URL's folder:
// "r-" and 16 hex digits of a hash of the files' names, sizes, times and
// bytes, so a URL below one never changes meaning.
inline constexpr std::size_t kReleaseNameSize = 18;
bool IsReleaseName(const std::string& name);

struct PreviousRelease {
    // The folder its files lie in, relative to the site: the base URL's
    // folder itself for a site of older publishers ("flat"), else one of its
    // release folders.
    std::filesystem::path files;
    bool flat = false;
    struct File {
        std::uint32_t size = 0;
        std::string time;  // as listed
        std::optional<trust::Sha256Digest> hash;
        std::filesystem::path site;  // where the hash says it lies, relative to the site
    };
    std::map<std::string, File> byListPath;
    // Its manifest as the site holds it (empty when none reads), and the
    // signature beside it. `vouched` once the signature verifies with the
    // key of the new publication: only then are its lines taken for the
    // bytes of what the new release shares without reading it whole (the
    // chunk indexes); anyone who may write the site could have changed
    // both the files and an unsigned manifest.
    trust::Manifest manifest;
    std::string manifestText, signatureText;
    bool vouched = false;
};

// The site's release from its list and manifest; nullopt when the site has
// no list that reads. `folder` is the base URL's folder of the new
// publication: a release elsewhere counts as none.
std::optional<PreviousRelease> ReadPreviousRelease(const std::filesystem::path& siteDir,
                                                   const std::filesystem::path& folder);

}  // namespace publish
