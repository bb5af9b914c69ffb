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
// The server list's signature, for launchers built with trusted keys.
inline constexpr const char* kServerListSignature = "serverlist_test.aspx.minisig";

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

// The list path's place on the site below `folder`: its UTF-8 name with "/"
// between folders, as the launcher asks for it and any web server finds it.
std::filesystem::path SitePath(const std::filesystem::path& folder, const std::string& listPath);

// Launchers of older builds ask for a file by the list's own bytes (CP1254,
// "\" between folders). For the shipped nginx configuration the site keeps
// a second name of each file whose path is not plain ASCII, under this
// folder, the site's path below it in CP1254 bytes ("" for an ASCII path).
inline constexpr const char* kLegacyNames = ".cp1254";
std::filesystem::path LegacySitePath(const std::filesystem::path& folder,
                                     const std::string& listPath);

// A path's text as UTF-8, and UTF-8 text as a path, whatever the system's
// own encoding of names (UTF-16 on Windows).
std::string Utf8(const std::filesystem::path& path);
std::filesystem::path Utf8Path(const std::string& text);

}  // namespace publish
