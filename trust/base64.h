// Base64 as minisign writes it (standard alphabet, "=" padding, one line).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace trust {

std::string EncodeBase64(const std::uint8_t* data, std::size_t size);

// Only the canonical encoding of exactly `size` bytes is taken: no blanks,
// no line breaks, no missing or extra padding, no stray bits.
bool DecodeBase64(std::string_view text, std::size_t size, std::vector<std::uint8_t>& out);

}  // namespace trust
