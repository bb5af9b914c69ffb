// The new site is built in a staging folder inside the site, on the same
// file system, so that each part moves into place with a rename.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "tools/valdora-publish/plan.h"

namespace publish {

// A fresh ".valdora-publish-NNNN" folder in the site; removed with all it
// still holds (the new parts not moved, the old parts moved aside) when
// destroyed.
class Staging {
public:
    explicit Staging(const std::filesystem::path& siteDir);
    ~Staging();
    Staging(const Staging&) = delete;
    Staging& operator=(const Staging&) = delete;

    bool valid() const { return !root_.empty(); }
    // Why it could not be made.
    const std::error_code& error() const { return error_; }
    // Where the new site is built, laid out as the site itself.
    std::filesystem::path fresh() const { return root_ / "new"; }
    // Where the old part replaced by commit unit `i` is kept until the end.
    std::filesystem::path aside(std::size_t i) const {
        return root_ / ("old-" + std::to_string(i));
    }

private:
    std::filesystem::path root_;
    std::error_code error_;
};

// What Stage() made: the release's folder and the list that names it.
struct Staged {
    std::string release;                      // "r-..." below the base URL's folder
    std::filesystem::path files;              // the release's folder, relative to the site
    std::vector<trust::Sha256Digest> hashes;  // of plan.files, in order
    // The chunk indexes and lists, the packs and their index in the
    // release's folder (their paths below it) with their hashes, for the
    // manifest.
    std::vector<std::pair<std::string, trust::Sha256Digest>> indexes;
    std::string listText;
    // Indexes of the previous release that are not what its signed manifest
    // names (changed on the server): made anew, and named on stderr.
    std::vector<std::string> mismatches;
};

// Puts every file with its time into a new release folder in `fresh` (a
// link to the previous release's copy where that is the same, else a
// copy), with a second name below .cp1254/ for a name that is not plain
// ASCII; the chunk index of every file of 1 MiB or more
// (patch/download_plan.h) in the release's folder (a link to the previous
// release's where its manifest, signed with this publication's key, names
// those bytes, else cut from the copy); the small files once more in packs
// (packs.h); writes the list (its base URL the release's folder), the
// manifest of the hashes of the list, the files, their indexes and packs,
// its signature when the plan signs, and the pages; and makes everything
// readable for a web server running as another user. False with the reason
// in `error` on the first failure.
bool Stage(const Publication& plan, const std::filesystem::path& siteDir,
           const std::filesystem::path& fresh, Staged& staged, std::string& error);

}  // namespace publish
