// Whole files read, written, hashed and copied as bytes.
#pragma once

#include <filesystem>
#include <string>

#include "trust/sha256.h"

namespace publish {

bool ReadText(const std::filesystem::path& path, std::string& text);
// Creates or truncates `path`; false when any byte could not be written.
bool WriteText(const std::filesystem::path& path, const std::string& text);

// The SHA-256 of a whole file; false when it cannot be read.
bool HashFile(const std::filesystem::path& path, trust::Sha256Digest& digest);
// Copies `from` to a new file `to`, hashing the bytes on the way.
bool CopyHashed(const std::filesystem::path& from, const std::filesystem::path& to,
                trust::Sha256Digest& digest, std::string& error);

}  // namespace publish
