// The hash each game file was installed with, on a signed site: the release's
// manifest line of the file when a run put it in place (or first found it
// current). A file whose signed hash differs from the one it was installed
// with is due, whatever its size and time say, so a file rebuilt under the
// same size within the hour still reaches the player; no game file is read
// for it.
//
// Kept in "base\installed.sha256" in sha256sum's format, paths as the game
// directory holds them (UTF-8, "/" between folders), so that
// `sha256sum -c base/installed.sha256` in the game directory checks it.
#pragma once

#include <map>
#include <string>
#include <string_view>

#include "trust/sha256.h"

inline constexpr const char* kInstalledHashes = "base\\installed.sha256";

class InstalledHashes {
public:
    // Reads the file in the current directory; what does not read counts as
    // nothing installed.
    void Load();
    // The hash the listed file was installed with, or nullptr.
    const trust::Sha256Digest* Find(std::string_view listPath) const;
    void Set(std::string_view listPath, const trust::Sha256Digest& hash);
    // Writes the file whole when anything was set. False when that failed.
    bool Save();

private:
    std::map<std::string, trust::Sha256Digest, std::less<>> hashes_;  // by name on disk
    bool changed_ = false;
};
