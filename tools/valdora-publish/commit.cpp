#include "tools/valdora-publish/commit.h"

#include <algorithm>
#include <system_error>

#include "patch/mirror_list.h"
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

std::vector<fs::path> CommitUnits(const Publication& plan, const Staged& staged) {
    std::vector<fs::path> units = {staged.files, fs::path(kLegacyNames) / staged.files};
    for (const auto& page : plan.pages) units.push_back(page.first);
    // Unsigned, an old signature of the server list goes.
    if (!plan.pages.empty()) units.push_back(kServerListSignature);
    units.push_back(kStatePath);
    units.push_back(kMirrorListPath);  // none: an old list goes
    units.push_back(kManifestPath);
    units.push_back(kSignaturePath);
    units.push_back(kListPath);
    return units;
}

void MakeFoldersPublic(const fs::path& siteDir, const std::vector<fs::path>& units) {
    // Group and others may read and search, whatever the umask made them.
    constexpr auto kPublic = fs::perms::group_read | fs::perms::group_exec |
                             fs::perms::others_read | fs::perms::others_exec;
    std::error_code ec;
    fs::permissions(siteDir, kPublic, fs::perm_options::add, ec);
    for (const fs::path& unit : units) {
        fs::path folder = siteDir;
        for (const fs::path& part : unit.parent_path()) {
            folder /= part;
            fs::permissions(folder, kPublic, fs::perm_options::add, ec);
        }
    }
}

int RemoveOldReleases(const fs::path& siteDir, const Publication& plan, const Staged& staged) {
    if (!plan.previous) return 0;  // what the site served is not known: all stays
    const fs::path previous = plan.previous->flat ? "" : plan.previous->files.filename();
    int removed = 0;
    for (const fs::path& root : {plan.folder, fs::path(kLegacyNames) / plan.folder}) {
        // Besides release folders, the base URL's folder holds the files of
        // an older publisher's release, and the site's root the operator's
        // own files.
        const bool othersStay = plan.previous->flat || root.empty();
        std::error_code ec;
        for (fs::directory_iterator it(siteDir / root, ec), end; !ec && it != end;
             it.increment(ec)) {
            const fs::path name = it->path().filename();
            const bool release = IsReleaseName(Utf8(name));
            if (name == staged.release || name == previous || (!release && othersStay)) continue;
            std::error_code removing;
            fs::remove_all(it->path(), removing);
            removed += release && root == plan.folder && !removing;
        }
    }
    return removed;
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
