#include "patch/installed_hashes.h"

#include "patch/update_list.h"
#include "platform/file.h"
#include "trust/manifest.h"

void InstalledHashes::Load() {
    hashes_.clear();
    changed_ = false;
    std::string text, error;
    trust::Manifest manifest;
    if (!platform::read_file(kInstalledHashes, text) ||
        !trust::Manifest::Parse(text, manifest, error)) {
        return;
    }
    for (const trust::ManifestEntry& entry : manifest.entries()) hashes_[entry.path] = entry.hash;
}

const trust::Sha256Digest* InstalledHashes::Find(std::string_view listPath) const {
    const auto it = hashes_.find(SiteName(listPath));
    return it == hashes_.end() ? nullptr : &it->second;
}

void InstalledHashes::Set(std::string_view listPath, const trust::Sha256Digest& hash) {
    trust::Sha256Digest& kept = hashes_[SiteName(listPath)];
    changed_ = changed_ || kept != hash;
    kept = hash;
}

bool InstalledHashes::Save() {
    if (!changed_) return true;
    trust::Manifest manifest;
    std::string error;
    for (const auto& [path, hash] : hashes_) manifest.Add(path, hash, error);
    platform::create_directory("base");  // usually there already
    changed_ = !platform::write_file_whole(kInstalledHashes, manifest.Format());
    return !changed_;
}
