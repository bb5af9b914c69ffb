// A signed patch site as a run takes it. Beside the update list lie the
// manifest of hashes ("...Update.txt.sha256") and its minisign signature
// ("...Update.txt.sha256.minisig"); with trusted keys the run checks them
// before it uses anything of the list, and then each file's bytes against
// its manifest line.
//
// The last release taken is kept in the game directory's base/ (list,
// manifest and signature, as fetched): its version is the lowest a later
// run takes, and launch_helper.exe checks the new launcher against it right
// before it installs it. The version comes from the kept signature alone
// (its trusted comment is signed on its own), which is written first: a
// run cut short between the three writes, or a kept release of an older
// launcher that wrote the signature last, never lowers it below the last
// version whose signature reached the disk.
#pragma once

#include <cstdint>
#include <list>
#include <string>
#include <vector>

#include "patch/update_list.h"
#include "trust/keys.h"
#include "trust/release.h"

// The manifest and the signature: the update list's URL and these.
inline constexpr const char* kManifestSuffix = ".sha256";
inline constexpr const char* kSignatureSuffix = ".sha256.minisig";
// The update list's own line in the manifest.
inline constexpr const char* kListManifestPath = "Patcher/1000_1.0.0.1_Update.txt";

// The release taken last, in the game directory.
inline constexpr const char* kKeptList = "base\\1000_1.0.0.1_Update.txt";
inline constexpr const char* kKeptManifest = "base\\1000_1.0.0.1_Update.txt.sha256";
inline constexpr const char* kKeptSignature = "base\\1000_1.0.0.1_Update.txt.sha256.minisig";

// Public keys from minisign key files or lines; those that do not read are
// left out.
std::vector<trust::PublicKey> ReadTrustedKeys(const std::vector<std::string>& texts);

// The folder of the site that a base URL names, with a final "/" ("" for
// the site's root): "http://host/game" -> "game/". A listed file's manifest
// path is this and its name on the site (SiteName: UTF-8, "/" between
// folders).
std::string SiteFolderOf(const std::string& baseUrl);

class SignedRelease {
public:
    // The checks of the fetched manifest and signature, in order: the
    // signature (by one of `keys`, over the manifest, its trusted comment
    // too), the product, the expiry (after `nowUnix`), the version (at least
    // `minimumVersion`), the manifest's form. False with the check that
    // failed in `error`.
    bool Verify(const std::vector<trust::PublicKey>& keys, std::string manifestText,
                std::string signatureText, std::int64_t nowUnix, std::uint64_t minimumVersion,
                std::string& error);
    // Then the list: its bytes against the manifest's line of the list.
    bool TakeList(std::string listText, std::string& error);
    // After the list is parsed: every listed file has a manifest line (lines
    // of other paths are passed over). False naming the first that has none.
    bool Covers(const std::string& baseUrl, const std::list<UpdateListEntry>& entries,
                std::string& error);
    // The list's text, once checked.
    const std::string& List() const { return list_; }
    // The hash of the listed file `listPath`, or nullptr.
    const trust::Sha256Digest* HashOf(const std::string& listPath) const;
    // The hash of any file of the site by its manifest path, or nullptr.
    const trust::Sha256Digest* Listed(std::string_view manifestPath) const {
        return release_.manifest.Find(manifestPath);
    }
    // Writes the checked texts into base/, each through a whole new file
    // unless it holds that text already, the signature first. False when
    // one failed.
    bool Keep() const;

private:
    trust::Release release_;
    std::string folder_;
    std::string list_, manifest_, signature_;
};

// Logs a check of a signed site that refused something: "doğrulama hatası: "
// and why.
void LogRefusal(const std::string& why);

// The version of the release kept in base/, the lowest a run takes, from
// the kept signature's trusted comment once that verifies with `keys` and
// names this product (a local edit of it sets no floor), whatever the kept
// list and manifest are; 0 when none is kept, when it is the release of
// `signature` (checked whole anyway), or when it does not verify
// (`ignored` then says why).
std::uint64_t KeptReleaseVersion(const std::vector<trust::PublicKey>& keys,
                                 const std::string& signature, std::string& ignored);

// launch_helper.exe's check, in the game directory: the kept release reads
// and verifies with `keys` (not expired at `nowUnix`) and the kept list is
// the one its manifest names; `expected` is then the hash of the list's
// "_launcher.dll" line. False with the reason.
bool KeptLauncherHash(const std::vector<trust::PublicKey>& keys, std::int64_t nowUnix,
                      trust::Sha256Digest& expected, std::string& error);
