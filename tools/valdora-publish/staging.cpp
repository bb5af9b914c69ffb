#include "tools/valdora-publish/staging.h"

#include <stdlib.h>

#include <chrono>
#include <fstream>
#include <system_error>
#include <vector>

#include "patch/update_list.h"
#include "tools/valdora-publish/text_file.h"
#include "trust/manifest.h"

namespace publish {

namespace fs = std::filesystem;

namespace {

fs::file_time_type FileTime(std::int64_t unixSeconds) {
    return std::chrono::file_clock::from_sys(
        std::chrono::sys_seconds(std::chrono::seconds(unixSeconds)));
}

// Site folders and files are for a web server running as another user.
void MakeReadable(const fs::path& root) {
    std::error_code ec;
    constexpr auto dirs = fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                          fs::perms::others_read | fs::perms::others_exec;
    constexpr auto files = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                           fs::perms::others_read;
    fs::permissions(root, fs::is_directory(root, ec) ? dirs : files, ec);
    for (fs::recursive_directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec)) {
        fs::permissions(it->path(), it->is_directory(ec) ? dirs : files, ec);
    }
}

// The release's folder name: a hash of every file's name, size, time and
// bytes, so the same name always means the same files.
std::string ReleaseName(const std::vector<ListFile>& entries,
                        const std::vector<trust::Sha256Digest>& hashes) {
    std::string text;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        text += trust::ToHex(hashes[i]) + " " + std::to_string(entries[i].size) + " " +
                std::to_string(entries[i].unixTime) + " " + entries[i].path + "\n";
    }
    return "r-" + trust::ToHex(trust::Sha256Of(text)).substr(0, kReleaseNameSize - 2);
}

// The manifest: the list first, then each file in the list's order.
bool WriteManifest(const Publication& plan, const Staged& staged, const fs::path& fresh,
                   std::string& error) {
    trust::Manifest manifest;
    manifest.Add(kListPath, trust::Sha256Of(staged.listText), error);
    for (std::size_t i = 0; i < plan.files.size(); ++i) {
        const fs::path site = SitePath(staged.files, plan.files[i].entry.path);
        if (!manifest.Add(site.generic_string(), staged.hashes[i], error)) return false;
    }
    std::string signature;
    if (!WriteText(fresh / kManifestPath, manifest.Format())) {
        error = "cannot write the manifest";
        return false;
    }
    if (!plan.signing) return true;
    if (!SignManifest(*plan.signing, manifest.Format(), signature, error)) return false;
    if (!WriteText(fresh / kSignaturePath, signature)) {
        error = "cannot write the manifest's signature";
        return false;
    }
    return true;
}

// One file into the release being staged: a link to the previous release's
// copy when it is the same, else a copy, hashed on the way.
bool StageFile(const SourceFile& file, const fs::path& siteDir, const fs::path& target,
               trust::Sha256Digest& digest, std::string& error) {
    std::error_code ec;
    fs::create_directories(target.parent_path(), ec);
    if (!file.reuse.empty()) {
        fs::create_hard_link(siteDir / file.reuse, target, ec);
        if (!ec) {
            // Shared only with the time it is listed with; a link is never
            // written through, it is the site's own file.
            if (fs::last_write_time(target, ec) == FileTime(file.entry.unixTime) && !ec) {
                digest = *file.hash;
                return true;
            }
            fs::remove(target, ec);
        }
    }
    if (!CopyHashed(file.source, target, digest, error)) return false;
    fs::last_write_time(target, FileTime(file.entry.unixTime), ec);
    if (ec) {
        error = target.string() + ": " + ec.message();
        return false;
    }
    if (fs::file_size(target, ec) != file.entry.size || (file.hash && *file.hash != digest)) {
        error = file.source.string() + ": changed while it was being published";
        return false;
    }
    return true;
}

}  // namespace

Staging::Staging(const fs::path& siteDir) {
    std::string pattern = (siteDir / ".valdora-publish-XXXXXX").string();
    if (::mkdtemp(pattern.data()) != nullptr) root_ = pattern;
}

Staging::~Staging() {
    std::error_code ec;
    if (!root_.empty()) fs::remove_all(root_, ec);
}

bool Stage(const Publication& plan, const fs::path& siteDir, const fs::path& fresh, Staged& staged,
           std::string& error) {
    std::error_code ec;
    const fs::path building = fresh / plan.folder / "release";
    std::vector<ListFile> entries;
    for (const SourceFile& file : plan.files) {
        trust::Sha256Digest digest;
        if (!StageFile(file, siteDir, building / SiteName(file.entry.path), digest, error)) {
            return false;
        }
        staged.hashes.push_back(digest);
        entries.push_back(file.entry);
    }
    staged.release = ReleaseName(entries, staged.hashes);
    staged.files = plan.folder / staged.release;
    fs::create_directories(building, ec);
    fs::rename(building, fresh / staged.files, ec);
    if (ec) {
        error = (fresh / staged.files).string() + ": " + ec.message();
        return false;
    }
    for (const SourceFile& file : plan.files) {
        const fs::path legacy = LegacySitePath(staged.files, file.entry.path);
        if (legacy.empty()) continue;
        fs::create_directories((fresh / legacy).parent_path(), ec);
        if (!ec)
            fs::create_hard_link(fresh / SitePath(staged.files, file.entry.path), fresh / legacy,
                                 ec);
        if (ec) {
            error = (fresh / legacy).string() + ": " + ec.message();
            return false;
        }
    }
    fs::create_directories(fresh / fs::path(kListPath).parent_path(), ec);
    staged.listText = UpdateListText(plan.baseUrl + "/" + staged.release, plan.note, entries);
    if (!WriteText(fresh / kListPath, staged.listText)) {
        error = "cannot write the update list";
        return false;
    }
    if (!WriteManifest(plan, staged, fresh, error)) return false;
    if (!WriteText(fresh / kStatePath, FormatSiteState(plan.state))) {
        error = std::string("cannot write ") + kStatePath;
        return false;
    }
    for (const auto& [name, text] : plan.pages) {
        if (!WriteText(fresh / name, text)) {
            error = "cannot write " + name;
            return false;
        }
    }
    MakeReadable(fresh);
    return true;
}

}  // namespace publish
