// The publication worked out and checked before anything is written.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "tools/valdora-publish/options.h"
#include "tools/valdora-publish/pages.h"
#include "tools/valdora-publish/previous.h"
#include "tools/valdora-publish/signing.h"
#include "tools/valdora-publish/site.h"

namespace publish {

struct SourceFile {
    std::filesystem::path source;  // where the file is read from
    ListFile entry;                // how the list names it
    // Its hash when it was read to be compared with the previous release.
    std::optional<trust::Sha256Digest> hash;
    // The previous release's copy of the same bytes under the same time,
    // relative to the site: shared rather than copied ("" when none).
    std::filesystem::path reuse;
};

struct Publication {
    std::string baseUrl;                      // without trailing "/"
    std::string note;                         // CP1254
    std::filesystem::path folder;             // the base URL's folder on the site ("" for the root)
    std::vector<SourceFile> files;            // sorted by list path; "_launcher.dll" among them
    std::vector<Page> pages;                  // filled in, ready to write
    std::string mirrorList;                   // Patcher/mirrors.txt; "" for none
    std::optional<SigningPlan> signing;       // with --sign-key
    SiteState state;                          // what the site will have carried
    std::optional<PreviousRelease> previous;  // what the site holds now
    std::vector<std::string> notes;           // for the report
    // What the site holds that is not what its manifest names (changed on
    // the server): each taken from the build instead, and named on stderr.
    std::vector<std::string> mismatches;
};

// Everything the publication needs, checked against what the launcher and a
// static web server can use. Each reason to refuse is added to `problems`;
// `plan` is complete only when none was.
void Plan(const Options& options, Publication& plan, std::vector<std::string>& problems);

}  // namespace publish
