#include "tools/valdora-publish/publisher.h"

#include <algorithm>
#include <system_error>

#include "patch/mirror_list.h"
#include "tools/valdora-publish/commit.h"
#include "tools/valdora-publish/plan.h"
#include "tools/valdora-publish/staging.h"

namespace publish {

namespace fs = std::filesystem;

namespace {

// What one launcher run may download.
constexpr std::uint64_t kRunLimit = 70ull << 20;

void Report(const Options& options, const Publication& plan, const Staged& staged, int removed,
            std::ostream& report) {
    std::uint64_t total = 0;
    std::size_t shared = 0;
    for (const SourceFile& file : plan.files) {
        total += file.entry.size;
        shared += !file.reuse.empty();
    }
    report << "Published " << plan.files.size() << " files (" << FormatMiB(total) << ") for "
           << plan.baseUrl << "\n"
           << "  update list: " << (options.siteDir / kListPath).string() << "\n"
           << "  files:       " << (options.siteDir / staged.files).string() << " (" << shared
           << " shared with the previous release)\n";
    if (plan.previous && plan.previous->files != staged.files) {
        report << "  kept:        " << (options.siteDir / plan.previous->files).string()
               << ", the previous release, for players still fetching it";
        if (removed > 0) report << "; " << removed << " older release(s) removed";
        report << "\n";
    }
    if (!options.launcher.empty()) report << "  launcher:    " << kLauncherFile << "\n";
    if (!plan.pages.empty()) report << "  web pages:   serverlist_test.aspx, LauncherPromo1-3\n";
    if (!plan.mirrorList.empty()) {
        report << "  mirrors:     "
               << std::count(plan.mirrorList.begin(), plan.mirrorList.end(), '\n') << " in "
               << (options.siteDir / kMirrorListPath).string()
               << "; copy the site to each, the release folder before Patcher/\n";
    }
    report << "  manifest:    " << (options.siteDir / kManifestPath).string() << "\n";
    if (plan.signing) {
        report << "  signature:   " << (options.siteDir / kSignaturePath).string() << " (key "
               << trust::KeyIdText(plan.signing->key.id) << ", "
               << trust::FormatTrustedComment(plan.signing->release) << ")\n";
    } else {
        report << "  signature:   none; launchers built with trusted keys refuse this site\n";
        if (plan.state.everSigned) {
            report << "Note: the site was signed; the next signed publication goes on from "
                      "version "
                   << plan.state.highestVersion + 1 << ".\n";
        }
    }
    for (const std::string& note : plan.notes) report << "Note: " << note << "\n";
    if (total > kRunLimit) {
        report << "Note: a new installation needs " << FormatMiB(total)
               << ", more than the 70 MiB a launcher run may download; new players need the "
                  "full installer.\n";
    }
}

}  // namespace

Status Publish(const Options& options, std::ostream& report, std::ostream& errors) {
    Publication plan;
    std::vector<std::string> problems;
    Plan(options, plan, problems);
    for (const std::string& m : plan.mismatches) errors << "valdora-publish: " << m << "\n";
    if (!problems.empty()) {
        errors << "valdora-publish: refused, nothing was written:\n";
        for (const std::string& p : problems) errors << "  " << p << "\n";
        return kRefused;
    }

    std::error_code ec;
    fs::create_directories(options.siteDir, ec);
    Staging staging(options.siteDir);
    std::string error;
    if (ec || !staging.valid()) {
        errors << "valdora-publish: " << Utf8(options.siteDir) << ": "
               << (ec ? ec : staging.error()).message() << "\n";
        return kWriteFailed;
    }
    Staged staged;
    std::vector<fs::path> units;
    if (!Stage(plan, options.siteDir, staging.fresh(), staged, error) ||
        !Commit(units = CommitUnits(plan, staged), staging.fresh(), options.siteDir, staging,
                error)) {
        errors << "valdora-publish: " << error << "\nThe site was left as it was.\n";
        return kWriteFailed;
    }
    for (const std::string& m : staged.mismatches) errors << "valdora-publish: " << m << "\n";
    MakeFoldersPublic(options.siteDir, units);
    const int removed = RemoveOldReleases(options.siteDir, plan, staged);
    Report(options, plan, staged, removed, report);
    return kPublished;
}

}  // namespace publish
