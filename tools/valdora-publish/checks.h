// What the launcher or a static web server could not use: each check
// answers why not, so the publisher can refuse with every reason at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace publish {

// The launcher reads sizes as signed 32-bit numbers.
inline constexpr std::uint64_t kMaxFileSize = 0x7FFFFFFF;
// The shipped nginx configuration turns eight backslashes of a URL into
// folders per pass, and nginx allows ten passes.
inline constexpr std::size_t kMaxFolders = 64;

// What is wrong with one file or folder name of the game build (UTF-8), or "".
std::string NameProblem(const std::string& name);

// The site folder the base URL points at, relative to the site's root ("" for
// the root itself); false with the reason when the launcher or a static
// server could not use the URL.
bool SiteFolderOfBaseUrl(const std::string& baseUrl, std::filesystem::path& folder,
                         std::string& reason);

// Why the launcher could not keep a file under this list path ("" when it
// can): a name it reads differently, or a file the launcher or the player
// owns.
std::string ListPathProblem(const std::string& listPath);

// The public key lines a launcher.exe of this build trusts, read from the
// stamp it carries (app/launcher_version.h); false when it carries none.
bool LauncherKeys(const std::filesystem::path& launcher, std::vector<std::string>& keys);

}  // namespace publish
