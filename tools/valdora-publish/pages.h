// The site's web pages: the server list and the three promotional pages,
// made from templates with "{{name}}" placeholders.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace publish {

using Page = std::pair<std::string, std::string>;  // file name, text

// Sizes as the pages and the report show them: "12.3 MiB".
std::string FormatMiB(std::uint64_t bytes);

// Replaces "{{name}}" placeholders; unknown ones stay as they are.
std::string RenderTemplate(const std::string& text,
                           const std::vector<std::pair<std::string, std::string>>& values);

// Reads the four templates from `dir` in kPages order into `pages`; a
// template that cannot be read, or a server list the launcher would
// misread, adds its reasons to `problems`.
void ReadPageTemplates(const std::filesystem::path& dir, std::vector<Page>& pages,
                       std::vector<std::string>& problems);

// Fills the promotional pages' {{note}} (HTML-escaped), {{published}} (now,
// UTC), {{files}} and {{size}}; the server list stays as it is.
void FillPromoPages(std::vector<Page>& pages, const std::string& note, std::size_t files,
                    std::uint64_t totalBytes);

}  // namespace publish
