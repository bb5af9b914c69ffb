// Files named by the system's own paths (std::filesystem), for the tools
// that work on an operator's folders: the publisher.
#pragma once

#include <filesystem>
#include <string_view>

namespace platform {

// Creates `path` with `bytes`, flushed to the disk, only when nothing is
// there yet, not even a link. `ownerOnly`: for its owner's eyes (mode 0600;
// on Windows the folder's permissions hold). Fails with the error recorded.
bool write_new_file(const std::filesystem::path& path, std::string_view bytes, bool ownerOnly);

// Swaps what `a` and `b` name in one step; false where the system cannot
// (Windows; older file systems), with nothing changed.
bool exchange_paths(const std::filesystem::path& a, const std::filesystem::path& b);

// The name a file must have for a web server that looks names up byte for
// byte to find it by `bytes` (a list path's CP1254): the bytes themselves
// where names are bytes; on Windows, whose names are characters, those
// that CP1254 gives the bytes.
std::filesystem::path byte_name(std::string_view bytes);

}  // namespace platform
