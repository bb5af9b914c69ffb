// Moving a staged site into place, all or nothing.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "tools/valdora-publish/plan.h"
#include "tools/valdora-publish/staging.h"

namespace publish {

// What is moved into the site, in order, as paths relative to the site: the
// release's files folder first, with its older launchers' names, then the
// pages, the manifest and its signature, the list last, so the list never
// names a file that is not yet there. A unit with nothing staged (the
// signature of an unsigned publication) takes the old one away. Anything
// else in the site is left alone.
std::vector<std::filesystem::path> CommitUnits(const Publication& plan, const Staged& staged);

// A site is public: the site's folder and the folders the units lie in
// become readable and searchable by everyone (a web server runs as another
// user), whatever the umask made them.
void MakeFoldersPublic(const std::filesystem::path& siteDir,
                       const std::vector<std::filesystem::path>& units);

// Once the list names the new release: removes the releases before the
// previous one from the base URL's folder (and their older launchers'
// names). The previous release stays for players who fetched its list
// before this publication; the operator's own files at the site's root stay.
// Answers how many release folders went.
int RemoveOldReleases(const std::filesystem::path& siteDir, const Publication& plan,
                      const Staged& staged);

// Moves each unit from `fresh` to `siteDir`, what was there into the
// staging folder. On a failure every unit already moved is put back,
// newest first, so the site is as it was; false with the reason in `error`.
bool Commit(const std::vector<std::filesystem::path>& units, const std::filesystem::path& fresh,
            const std::filesystem::path& siteDir, const Staging& staging, std::string& error);

}  // namespace publish
