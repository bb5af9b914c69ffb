#include "tools/valdora-publish/commit.h"

#include <algorithm>
#include <system_error>

#include "platform/system_paths.h"
#include "tools/valdora-publish/site.h"

namespace publish {

namespace fs = std::filesystem;

namespace {

// Puts `staged` where `target` is, in one step where the system can; what
// was there goes to `aside`. `hadOld` tells whether anything was there.
// Nothing staged: what was there goes to `aside`. The reason of a failure
// goes to `ec`.
bool Swap(const fs::path& staged, const fs::path& target, const fs::path& aside, bool& hadOld,
          std::error_code& ec) {
    std::error_code ignored;
    hadOld = fs::exists(fs::symlink_status(target, ignored));
    if (!fs::exists(fs::symlink_status(staged, ignored))) {
        if (hadOld) fs::rename(target, aside, ec);
        return !ec;
    }
    if (!hadOld) {
        fs::rename(staged, target, ec);
        return !ec;
    }
    if (platform::exchange_paths(staged, target)) {
        fs::rename(staged, aside, ec);
        if (!ec) return true;
        platform::exchange_paths(staged, target);
        return false;
    }
    // No exchange here (Windows, some file systems): move the old one aside first.
    fs::rename(target, aside, ec);
    if (ec) return false;
    fs::rename(staged, target, ec);
    if (!ec) return true;
    fs::rename(aside, target, ignored);
    return false;
}

}  // namespace

std::vector<fs::path> CommitUnits(const Publication& plan, const fs::path& fresh) {
    std::vector<fs::path> units;
    if (!plan.folder.empty()) {
        units.push_back(plan.folder);
    } else {
        std::error_code ec;
        for (fs::directory_iterator it(fresh, ec), end; !ec && it != end; it.increment(ec)) {
            const fs::path name = it->path().filename();
            if (name != "Patcher" &&
                std::find(kPages.begin(), kPages.end(), name) == kPages.end()) {
                units.push_back(name);
            }
        }
        // Game files that share the list's folder.
        for (fs::directory_iterator it(fresh / "Patcher", ec), end; !ec && it != end;
             it.increment(ec)) {
            const fs::path name = it->path().filename();
            if (name != fs::path(kListPath).filename() &&
                name != fs::path(kManifestPath).filename() &&
                name != fs::path(kSignaturePath).filename()) {
                units.push_back(fs::path("Patcher") / it->path().filename());
            }
        }
    }
    for (const auto& page : plan.pages) units.push_back(page.first);
    units.push_back(kManifestPath);
    units.push_back(kSignaturePath);
    units.push_back(kListPath);
    return units;
}

bool Commit(const std::vector<fs::path>& units, const fs::path& fresh, const fs::path& siteDir,
            const Staging& staging, std::string& error) {
    struct Done {
        fs::path target;
        fs::path aside;
        bool hadOld;
    };
    std::vector<Done> done;
    for (std::size_t i = 0; i < units.size(); ++i) {
        const fs::path target = siteDir / units[i];
        std::error_code ec;
        fs::create_directories(target.parent_path(), ec);
        bool hadOld = false;
        if (ec || !Swap(fresh / units[i], target, staging.aside(i), hadOld, ec)) {
            error = Utf8(target) + ": " + ec.message();
            // Put back what was already replaced, newest first.
            for (auto it = done.rbegin(); it != done.rend(); ++it) {
                fs::remove_all(it->target, ec);
                if (it->hadOld) fs::rename(it->aside, it->target, ec);
            }
            return false;
        }
        done.push_back({target, staging.aside(i), hadOld});
    }
    return true;
}

}  // namespace publish
