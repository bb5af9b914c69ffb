// Where things lie on a published site, and the update list's text.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace publish {

inline constexpr const char* kListPath = "Patcher/1000_1.0.0.1_Update.txt";
// The SHA-256 of the list and of every file, and its minisign signature.
inline constexpr const char* kManifestPath = "Patcher/1000_1.0.0.1_Update.txt.sha256";
inline constexpr const char* kSignaturePath = "Patcher/1000_1.0.0.1_Update.txt.sha256.minisig";
inline constexpr const char* kLauncherFile = "_launcher.dll";
// The server list first, then the promotional pages.
inline constexpr std::array<const char*, 4> kPages = {"serverlist_test.aspx", "LauncherPromo1.aspx",
                                                      "LauncherPromo2.aspx", "LauncherPromo3.aspx"};

// One file of the update list.
struct ListFile {
    std::string path;  // CP1254, "\" between folders
    std::uint64_t size = 0;
    std::int64_t unixTime = 0;  // last write, UTC
};

// The list's text: base URL, note, then path, size and time of each file,
// CR LF after every line.
std::string UpdateListText(const std::string& baseUrl, const std::string& note,
                           const std::vector<ListFile>& files);

// The list path's place on the site below `folder`: CP1254 bytes with "/"
// between folders, which is how the shipped nginx configuration finds them
// (on Windows the characters of those bytes: platform::byte_name).
std::filesystem::path SitePath(const std::filesystem::path& folder, std::string listPath);
// The same as text, as the manifest names it: CP1254 bytes, "/" between folders.
std::string SiteName(const std::filesystem::path& folder, std::string listPath);

// A path's text as UTF-8, whatever the system's own encoding of names.
std::string Utf8(const std::filesystem::path& path);

}  // namespace publish
