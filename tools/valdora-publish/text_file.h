// Whole files read and written as bytes, for templates, lists and keys.
#pragma once

#include <filesystem>
#include <string>

namespace publish {

bool ReadText(const std::filesystem::path& path, std::string& text);
// Creates or truncates `path`; false when any byte could not be written.
bool WriteText(const std::filesystem::path& path, const std::string& text);

}  // namespace publish
