// The release's small files once more, in a few packs with their index
// (delta/pack_index.h), for launchers that fetch a folder of small files in
// one request rather than one each.
#pragma once

#include <filesystem>
#include <string>

#include "tools/valdora-publish/plan.h"
#include "tools/valdora-publish/staging.h"

namespace publish {

// Packs the files of `plan` below delta::kPackedFileBelow (not the
// launcher's own, not files of no bytes) from their copies in `release`,
// the release's folder being built, after `staged.hashes` (each copy read
// must still be those bytes): the packs and the index into its pack folder
// (a pack as a link to the previous release's where that holds the same
// bytes), each added to `staged.indexes` for the manifest. Nothing for
// fewer than two such files. False with the reason in `error`.
bool StagePacks(const Publication& plan, const std::filesystem::path& siteDir,
                const std::filesystem::path& release, Staged& staged, std::string& error);

}  // namespace publish
