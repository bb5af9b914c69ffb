// The new site is built in a staging folder inside the site, on the same
// file system, so that each part moves into place with a rename.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <system_error>

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

// Copies every file with its time into `fresh`, writes the list, the
// manifest of the hashes of the list and the copies, its signature when the
// plan signs, and the pages, and makes everything readable for a web server
// running as another user. False with the reason in `error` on the first
// failure.
bool Stage(const Publication& plan, const std::filesystem::path& fresh, std::string& error);

}  // namespace publish
