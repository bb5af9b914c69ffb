#include "patch/signed_release.h"

#include <algorithm>

#include "patch/self_update.h"
#include "platform/file.h"
#include "trust/signature.h"

namespace {

// Manifest lines name files by their place on the site, in UTF-8.
std::string ManifestPath(const std::string& folder, std::string_view listPath) {
    return folder + SiteName(listPath);
}

// A whole new file in the place of `path`, or the old one as it was.
bool WriteWhole(const std::string& path, const std::string& text) {
    const std::string fresh = path + ".new";
    platform::File file = platform::File::create_always(fresh);
    const bool written = file && file.write_all(text.data(), text.size());
    file.close();
    if (written && platform::replace_file(fresh, path)) return true;
    platform::delete_file(fresh);
    return false;
}

// Whether the file holds exactly `text`, read a piece at a time (a kept
// list may be tens of MiB).
bool Holds(const char* path, const std::string& text) {
    platform::File file = platform::File::open_for_reading(path);
    std::uint64_t size = 0;
    if (!file || !file.size(size) || size != text.size()) return false;
    char piece[1 << 16];
    std::size_t at = 0;
    for (long n; (n = file.read_some(piece, sizeof piece)) > 0; at += static_cast<std::size_t>(n)) {
        if (at + static_cast<std::size_t>(n) > text.size() ||
            text.compare(at, static_cast<std::size_t>(n), piece, static_cast<std::size_t>(n)) !=
                0) {
            return false;
        }
    }
    return at == text.size();
}

}  // namespace

std::vector<trust::PublicKey> ReadTrustedKeys(const std::vector<std::string>& texts) {
    std::vector<trust::PublicKey> keys;
    for (const std::string& text : texts) {
        trust::PublicKey key;
        std::string error;
        if (trust::ReadPublicKey(text, key, error)) keys.push_back(key);
    }
    return keys;
}

std::string SiteFolderOf(const std::string& baseUrl) {
    const std::size_t scheme = baseUrl.find("://");
    const std::size_t slash =
        scheme == std::string::npos ? std::string::npos : baseUrl.find('/', scheme + 3);
    if (slash == std::string::npos) return "";
    std::string folder = baseUrl.substr(slash + 1);
    while (!folder.empty() && folder.back() == '/') folder.pop_back();
    return folder.empty() ? folder : folder + "/";
}

bool SignedRelease::Verify(const std::vector<trust::PublicKey>& keys, std::string manifestText,
                           std::string signatureText, std::int64_t nowUnix,
                           std::uint64_t minimumVersion, std::string& error) {
    if (!trust::VerifyRelease(keys, manifestText, signatureText, nowUnix, minimumVersion, release_,
                              error)) {
        return false;
    }
    manifest_ = std::move(manifestText);
    signature_ = std::move(signatureText);
    return true;
}

bool SignedRelease::TakeList(std::string listText, std::string& error) {
    const trust::Sha256Digest* listHash = release_.manifest.Find(kListManifestPath);
    if (listHash == nullptr || *listHash != trust::Sha256Of(listText)) {
        error = listHash == nullptr ? "manifest: no line for the update list"
                                    : "the update list's bytes are not the signed ones";
        release_ = trust::Release();
        return false;
    }
    list_ = std::move(listText);
    return true;
}

bool SignedRelease::Covers(const std::string& baseUrl, const std::list<UpdateListEntry>& entries,
                           std::string& error) {
    folder_ = SiteFolderOf(baseUrl);
    // valdora-publish writes the lines in the list's order, after the list's
    // own: the next line (or the one after, past a launcher left out of the
    // list) is compared first, and looked up only when it is not the path.
    const std::vector<trust::ManifestEntry>& lines = release_.manifest.entries();
    std::size_t next = 1;
    for (const UpdateListEntry& entry : entries) {
        const std::string path = ManifestPath(folder_, entry.path);
        if (next < lines.size() && lines[next].path == path) {
            ++next;
        } else if (next + 1 < lines.size() && lines[next + 1].path == path) {
            next += 2;
        } else if (release_.manifest.Find(path) == nullptr) {
            error = "manifest: no line for the listed file " + path;
            return false;
        }
    }
    return true;
}

const trust::Sha256Digest* SignedRelease::HashOf(const std::string& listPath) const {
    return release_.manifest.Find(ManifestPath(folder_, listPath));
}

// The signature first: its signed comment alone gives the version a later
// run takes at least (KeptReleaseVersion), so a run cut short between the
// three writes leaves that version's floor, never the one before. Each file
// already holding its text is left as it is.
bool SignedRelease::Keep() const {
    platform::create_directory("base");  // usually there already
    const std::pair<const char*, const std::string*> kept[] = {
        {kKeptSignature, &signature_}, {kKeptManifest, &manifest_}, {kKeptList, &list_}};
    for (const auto& [path, text] : kept) {
        if (!Holds(path, *text) && !WriteWhole(path, *text)) return false;
    }
    return true;
}

std::uint64_t KeptReleaseVersion(const std::vector<trust::PublicKey>& keys,
                                 const std::string& signature, std::string& ignored) {
    std::string keptSignature;
    trust::ReleaseInfo info;
    if (!platform::read_file(kKeptSignature, keptSignature) || keptSignature == signature) return 0;
    return trust::VerifySignedComment(keys, keptSignature, info, ignored) ? info.version : 0;
}

bool KeptLauncherHash(const std::vector<trust::PublicKey>& keys, std::int64_t nowUnix,
                      trust::Sha256Digest& expected, std::string& error) {
    std::string list, manifest, signature, baseUrl;
    std::list<UpdateListEntry> entries;
    SignedRelease release;
    if (!platform::read_file(kKeptList, list) || !platform::read_file(kKeptManifest, manifest) ||
        !platform::read_file(kKeptSignature, signature)) {
        error = "the release kept in base cannot be read";
        return false;
    }
    if (!release.Verify(keys, manifest, signature, nowUnix, 0, error) ||
        !release.TakeList(list, error)) {
        return false;
    }
    ParseUpdateList(list, false, baseUrl, entries);
    release.Covers(baseUrl, {}, error);
    const trust::Sha256Digest* hash = release.HashOf(kLauncherFile);
    if (hash == nullptr) {
        error = "the kept release has no _launcher.dll";
        return false;
    }
    expected = *hash;
    return true;
}
