#include "tools/valdora-publish/staging.h"

#include <chrono>
#include <fstream>
#include <random>
#include <system_error>
#include <vector>

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

bool HashFile(const fs::path& path, trust::Sha256Digest& digest) {
    std::ifstream in(path, std::ios::binary);
    std::vector<char> buffer(1 << 20);
    trust::Sha256 hash;
    while (in) {
        in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        hash.Update(buffer.data(), static_cast<std::size_t>(in.gcount()));
    }
    digest = hash.Final();
    return in.eof() && !in.bad();
}

// The manifest: the list first, then each file in the list's order.
bool WriteManifest(const Publication& plan, const fs::path& fresh, const std::string& listText,
                   std::string& error) {
    trust::Manifest manifest;
    manifest.Add(kListPath, trust::Sha256Of(listText), error);
    for (const SourceFile& file : plan.files) {
        trust::Sha256Digest digest;
        if (!HashFile(fresh / SitePath(plan.folder, file.entry.path), digest)) {
            error = Utf8(file.source) + ": cannot be read back from the staging folder";
            return false;
        }
        if (!manifest.Add(SiteName(plan.folder, file.entry.path), digest, error)) return false;
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

bool Stage(const Publication& plan, const fs::path& fresh, std::string& error) {
    std::error_code ec;
    std::vector<ListFile> entries;
    for (const SourceFile& file : plan.files) {
        const fs::path target = fresh / SitePath(plan.folder, file.entry.path);
        fs::create_directories(target.parent_path(), ec);
        if (!ec) fs::copy_file(file.source, target, ec);
        if (!ec) fs::last_write_time(target, FileTime(file.entry.unixTime), ec);
        if (ec) {
            error = Utf8(file.source) + ": " + ec.message();
            return false;
        }
        if (fs::file_size(target, ec) != file.entry.size) {
            error = Utf8(file.source) + ": changed while it was being published";
            return false;
        }
        entries.push_back(file.entry);
    }
    fs::create_directories(fresh / plan.folder, ec);
    fs::create_directories(fresh / fs::path(kListPath).parent_path(), ec);
    const std::string list = UpdateListText(plan.baseUrl, plan.note, entries);
    if (!WriteText(fresh / kListPath, list)) {
        error = "cannot write the update list";
        return false;
    }
    if (!WriteManifest(plan, fresh, list, error)) return false;
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
