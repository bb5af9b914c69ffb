#include "tools/valdora-publish/previous.h"

#include <algorithm>
#include <list>

#include "patch/update_list.h"
#include "platform/system_paths.h"
#include "tools/valdora-publish/checks.h"
#include "tools/valdora-publish/site.h"
#include "tools/valdora-publish/text_file.h"
#include "trust/manifest.h"

namespace publish {

namespace fs = std::filesystem;

bool IsReleaseName(const std::string& name) {
    return name.size() == kReleaseNameSize && name.compare(0, 2, "r-") == 0 &&
           name.find_first_not_of("0123456789abcdef", 2) == std::string::npos;
}

std::optional<PreviousRelease> ReadPreviousRelease(const fs::path& siteDir,
                                                   const fs::path& folder) {
    std::string list, baseUrl, reason, error;
    std::list<UpdateListEntry> entries;
    fs::path files;
    if (!ReadText(siteDir / kListPath, list) || !ParseUpdateList(list, false, baseUrl, entries) ||
        !SiteFolderOfBaseUrl(baseUrl, files, reason)) {
        return std::nullopt;
    }
    PreviousRelease previous;
    previous.files = files;
    previous.flat = files == folder;
    if (!previous.flat &&
        !(files.parent_path() == folder && IsReleaseName(Utf8(files.filename())))) {
        return std::nullopt;
    }
    trust::Manifest& manifest = previous.manifest;
    if (ReadText(siteDir / kManifestPath, previous.manifestText)) {
        trust::Manifest::Parse(previous.manifestText, manifest, error);
    }
    ReadText(siteDir / kSignaturePath, previous.signatureText);
    for (const UpdateListEntry& entry : entries) {
        PreviousRelease::File& file = previous.byListPath[entry.path];
        file.size = entry.size;
        file.time = entry.timeStamp;
        // Older publishers named files by the list's own bytes.
        std::string bytes = entry.path;
        std::replace(bytes.begin(), bytes.end(), '\\', '/');
        for (const fs::path& name :
             {SitePath(files, entry.path), files / platform::byte_name(bytes)}) {
            const trust::Sha256Digest* hash = manifest.Find(Utf8(name));
            if (hash != nullptr && !file.hash) {
                file.hash = *hash;
                file.site = name;
            }
        }
    }
    return previous;
}

}  // namespace publish
