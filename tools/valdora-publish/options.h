// What valdora-publish is asked to do, and how it ends.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
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
    std::string baseUrl;                   // http(s)://host[:port][/folder...]
    std::string note;                      // line 2 of the list (UTF-8); empty: a dated default
    bool noteGiven = false;                // an explicit empty note is refused
    std::filesystem::path launcher;        // published as "_launcher.dll" when not empty
    std::filesystem::path pageTemplates;   // the web pages' templates when not empty
    std::filesystem::path signKey;         // signs the manifest when not empty
    std::optional<std::uint64_t> version;  // the release's version; else the old site's + 1
    std::optional<int> expiresInDays;      // the signature's expiry, from now
    bool unsignedAllowed = false;          // --unsigned: over a site that was signed
    bool replace = false;                  // --replace: over another game's site
    bool keylessLauncher = false;          // --keyless-launcher: sign one that trusts no key
    std::vector<std::string> mirrors;      // --mirror URL...: copies of the site, signed in
};

}  // namespace publish
