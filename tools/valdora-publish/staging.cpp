#include "tools/valdora-publish/staging.h"

#include <chrono>
#include <fstream>
#include <random>
#include <system_error>
#include <vector>

#include "delta/file_chunks.h"
#include "patch/download_plan.h"
#include "patch/mirror_list.h"
#include "patch/update_list.h"
#include "tools/valdora-publish/packs.h"
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
        if (!manifest.Add(Utf8(site), staged.hashes[i], error)) return false;
    }
    // After the files: launchers look the files' lines up in list order.
    for (const auto& [path, hash] : staged.indexes) {
        if (!manifest.Add((staged.files / path).generic_string(), hash, error)) return false;
    }
    if (!plan.mirrorList.empty()) {
        manifest.Add(kMirrorListPath, trust::Sha256Of(plan.mirrorList), error);
        if (!WriteText(fresh / kMirrorListPath, plan.mirrorList)) {
            error = std::string("cannot write ") + kMirrorListPath;
            return false;
        }
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
        error = Utf8(target) + ": " + ec.message();
        return false;
    }
    if (fs::file_size(target, ec) != file.entry.size || (file.hash && *file.hash != digest)) {
        error = Utf8(file.source) + ": changed while it was being published";
        return false;
    }
    return true;
}

// The index and chunk list of `file` (staged at `copy`) in `folder`, named
// by its hash, in the long form and the short one (delta::IndexName): links
// to the previous release's where its vouched manifest names the bytes they
// hold, else cut from the copy.
bool StageIndex(const fs::path& copy, const trust::Sha256Digest& hash, const Publication& plan,
                const fs::path& siteDir, const fs::path& folder, Staged& staged,
                std::string& error) {
    constexpr int kFiles = 4;
    const std::string names[kFiles] = {delta::IndexName(hash), delta::ChunkListName(hash),
                                       delta::IndexName(hash, delta::kShortRecordBytes),
                                       delta::ChunkListName(hash, delta::kShortRecordBytes)};
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (fs::exists(folder / names[0], ec)) return true;  // another file of the same bytes
    std::string texts[kFiles];
    const bool vouched = plan.previous && plan.previous->vouched;
    bool linked = vouched;
    for (int i = 0; vouched && i < kFiles; ++i) {
        const fs::path previous = plan.previous->files / kIndexFolder / names[i];
        const trust::Sha256Digest* listed = plan.previous->manifest.Find(Utf8(previous));
        if (listed != nullptr) fs::create_hard_link(siteDir / previous, folder / names[i], ec);
        const bool read = listed != nullptr && !ec && ReadText(folder / names[i], texts[i]);
        const bool same = read && trust::Sha256Of(texts[i]) == *listed;
        if (read && !same) {
            staged.mismatches.push_back(Utf8(previous) +
                                        ": not the bytes the previous signed manifest names "
                                        "(changed on the server?); made anew from the build");
        }
        linked = linked && same;
    }
    // Each form cut from its own read of the copy: their chunk sizes differ.
    for (int form = 0; !linked && form < 2; ++form) {
        std::ifstream in(copy, std::ios::binary);
        delta::IndexWriter writer(
            delta::FormCutting(form == 0 ? delta::kChunkRecordBytes : delta::kShortRecordBytes));
        const auto read = [&in](void* data, std::size_t size) {
            in.read(static_cast<char*>(data), static_cast<std::streamsize>(size));
            return in.bad() ? -1L : static_cast<long>(in.gcount());
        };
        if (!in || !delta::ChunkStream(read, writer, nullptr, {}, writer.cutting())) {
            error = copy.string() + ": cannot be read for its chunk index";
            return false;
        }
        texts[2 * form] = writer.index().Format();
        texts[2 * form + 1] = writer.chunkList();
    }
    if (!linked) {
        for (int i = 0; i < kFiles; ++i) {
            fs::remove(folder / names[i], ec);
            if (!WriteText(folder / names[i], texts[i])) {
                error = (folder / names[i]).string() + ": cannot be written";
                return false;
            }
        }
    }
    for (int i = 0; i < kFiles; ++i) {
        staged.indexes.emplace_back(std::string(kIndexFolder) + "/" + names[i],
                                    trust::Sha256Of(texts[i]));
    }
    return true;
}

// Every file of the plan into `building`, the release's folder being
// built, with the chunk indexes of the large ones and the packs of the
// small ones; their list entries into `entries`.
bool StageFiles(const Publication& plan, const fs::path& siteDir, const fs::path& building,
                Staged& staged, std::vector<ListFile>& entries, std::string& error) {
    for (const SourceFile& file : plan.files) {
        trust::Sha256Digest digest;
        if (!StageFile(file, siteDir, building / Utf8Path(SiteName(file.entry.path)), digest,
                       error)) {
            return false;
        }
        staged.hashes.push_back(digest);
        entries.push_back(file.entry);
        if (file.entry.size < delta::kMinIndexedSize) continue;
        if (!StageIndex(building / SiteName(file.entry.path), digest, plan, siteDir,
                        building / kIndexFolder, staged, error)) {
            return false;
        }
    }
    return StagePacks(plan, siteDir, building, staged, error);
}

}  // namespace

Staging::Staging(const fs::path& siteDir) {
    // A name nobody has, made by us alone: create_directory fails on one
    // that is there.
    std::random_device random;
    for (int attempt = 0; attempt < 100 && root_.empty(); ++attempt) {
        const fs::path candidate = siteDir / (".valdora-publish-" + std::to_string(random()));
        if (fs::create_directory(candidate, error_)) {
            fs::permissions(candidate, fs::perms::owner_all, error_);
            root_ = candidate;
        }
    }
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
    if (!StageFiles(plan, siteDir, building, staged, entries, error)) return false;
    staged.release = ReleaseName(entries, staged.hashes);
    staged.files = plan.folder / staged.release;
    fs::create_directories(building, ec);
    fs::rename(building, fresh / staged.files, ec);
    if (ec) {
        error = Utf8(fresh / staged.files) + ": " + ec.message();
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
            error = Utf8(fresh / legacy) + ": " + ec.message();
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
    // The server list is signed with the release, for a short while: the
    // operator signs it again (sign-servers) while the site stands.
    std::string signature;
    if (plan.signing && !plan.pages.empty() &&
        (!SignServerList(plan.signing->key, plan.pages.front().second, kServerListDays, signature,
                         error) ||
         !WriteText(fresh / kServerListSignature, signature))) {
        error = std::string("cannot sign the server list: ") + error;
        return false;
    }
    MakeReadable(fresh);
    return true;
}

}  // namespace publish
