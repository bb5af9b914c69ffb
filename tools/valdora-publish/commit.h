// Moving a staged site into place, all or nothing.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "tools/valdora-publish/plan.h"
#include "tools/valdora-publish/staging.h"

namespace publish {

// What is moved into the site, in order, as paths relative to the site: the
// files folder (or, at the site's root, each game file and folder) first,
// then the pages, the manifest and its signature, the list last, so the list
// never names a file that is not yet there. A unit with nothing staged (the
// signature of an unsigned publication) takes the old one away. Anything
// else in the site (the operator's own files) is left alone.
std::vector<std::filesystem::path> CommitUnits(const Publication& plan,
                                               const std::filesystem::path& fresh);

// Moves each unit from `fresh` to `siteDir`, what was there into the
// staging folder. On a failure every unit already moved is put back,
// newest first, so the site is as it was; false with the reason in `error`.
bool Commit(const std::vector<std::filesystem::path>& units, const std::filesystem::path& fresh,
            const std::filesystem::path& siteDir, const Staging& staging, std::string& error);

}  // namespace publish
