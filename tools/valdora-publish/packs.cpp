#include "tools/valdora-publish/packs.h"

#include <algorithm>
#include <system_error>

#include "delta/pack_index.h"
#include "patch/update_list.h"
#include "tools/valdora-publish/text_file.h"

namespace publish {

namespace fs = std::filesystem;

namespace {

bool IsPacked(const SourceFile& file) {
    return file.entry.size > 0 && file.entry.size < delta::kPackedFileBelow &&
           file.entry.path != kLauncherFile;
}

// `bytes` as the index's next pack in `folder`: a link to the previous
// release's pack of the same name where that holds the same bytes, else
// written anew.
bool AddPack(const std::string& bytes, const Publication& plan, const fs::path& siteDir,
             const fs::path& folder, delta::PackIndex& index, Staged& staged, std::string& error) {
    const trust::Sha256Digest hash = trust::Sha256Of(bytes);
    const std::string name = delta::PackName(hash);
    index.packs.emplace_back(hash, bytes.size());
    std::error_code ec;
    if (fs::exists(folder / name, ec)) return true;  // a pack of the same bytes before
    staged.indexes.emplace_back(std::string(delta::kPackFolder) + "/" + name, hash);
    if (plan.previous) {
        const fs::path previous = siteDir / plan.previous->files / delta::kPackFolder / name;
        std::string old;
        if (ReadText(previous, old) && old == bytes) {
            fs::create_hard_link(previous, folder / name, ec);
            if (!ec) return true;
        }
    }
    if (!WriteText(folder / name, bytes)) {
        error = Utf8(folder / name) + ": cannot be written";
        return false;
    }
    return true;
}

}  // namespace

bool StagePacks(const Publication& plan, const fs::path& siteDir, const fs::path& release,
                Staged& staged, std::string& error) {
    const auto packed = std::count_if(plan.files.begin(), plan.files.end(), IsPacked);
    if (packed < 2) return true;
    const fs::path folder = release / delta::kPackFolder;
    std::error_code ec;
    fs::create_directories(folder, ec);
    delta::PackIndex index;
    std::string pack, bytes;
    for (std::size_t i = 0; i < plan.files.size(); ++i) {
        if (!IsPacked(plan.files[i])) continue;
        const std::string name = SiteName(plan.files[i].entry.path);
        if (!ReadText(release / Utf8Path(name), bytes) ||
            trust::Sha256Of(bytes) != staged.hashes[i]) {
            error = name + ": changed while it was being packed";
            return false;
        }
        if (pack.size() + bytes.size() > delta::kMaxPackBytes) {
            if (!AddPack(pack, plan, siteDir, folder, index, staged, error)) return false;
            pack.clear();
        }
        index.files.push_back({index.packs.size(), pack.size(), bytes.size(), name});
        pack += bytes;
    }
    if (!AddPack(pack, plan, siteDir, folder, index, staged, error)) return false;
    const std::string text = index.Format();
    if (!WriteText(folder / delta::kPackIndexName, text)) {
        error = Utf8(folder / delta::kPackIndexName) + ": cannot be written";
        return false;
    }
    staged.indexes.emplace_back(std::string(delta::kPackFolder) + "/" + delta::kPackIndexName,
                                trust::Sha256Of(text));
    return true;
}

}  // namespace publish
