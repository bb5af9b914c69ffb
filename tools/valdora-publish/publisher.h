// valdora-publish: turns a game build folder into a patch site that any
// static HTTP server can serve: the update list under
// "Patcher/1000_1.0.0.1_Update.txt", the files under the base URL's folder,
// optionally the launcher's own file and the web pages.
//
// Everything is checked before anything is written; the site is built in a
// staging folder inside SITE_DIR and moved into place at the end, so a
// refused or failed publication leaves the site as it was.
#pragma once

#include <cstdint>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

namespace publish {

// Exit statuses of the tool.
enum Status : int {
    kPublished = 0,
    kRefused = 1,      // bad input; nothing written
    kWriteFailed = 2,  // the site could not be written; left as it was
    kUsage = 64,
};

struct Options {
    std::filesystem::path gameBuildDir;
    std::filesystem::path siteDir;
    std::string baseUrl;                  // http(s)://host[:port][/folder...]
    std::string note;                     // line 2 of the list (UTF-8); empty: a dated default
    bool noteGiven = false;               // an explicit empty note is refused
    std::filesystem::path launcher;       // published as "_launcher.dll" when not empty
    std::filesystem::path pageTemplates;  // the web pages' templates when not empty
};

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

// The site folder the base URL points at, relative to the site's root ("" for
// the root itself); false with the reason when the launcher or a static
// server could not use the URL.
bool SiteFolderOfBaseUrl(const std::string& baseUrl, std::filesystem::path& folder,
                         std::string& reason);

// Why the launcher could not keep a file under this list path ("" when it
// can): a name it reads differently, or a file the launcher or the player
// owns.
std::string ListPathProblem(const std::string& listPath);

// Replaces "{{name}}" placeholders; unknown ones stay as they are.
std::string RenderTemplate(const std::string& text,
                           const std::vector<std::pair<std::string, std::string>>& values);

// The problems of a server-list text as the launcher would read it.
std::vector<std::string> ServerListProblems(const std::string& text);

// The whole publication. Reports what it did on `report`, every reason for
// a refusal on `errors`.
Status Publish(const Options& options, std::ostream& report, std::ostream& errors);

}  // namespace publish
