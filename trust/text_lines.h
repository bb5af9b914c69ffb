// The line structure shared by minisign's key and signature files.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace trust {

inline constexpr std::string_view kUntrustedPrefix = "untrusted comment: ";
inline constexpr std::string_view kTrustedPrefix = "trusted comment: ";

// Lines ended by LF (the last LF may be missing). Refused: an empty text, a
// CR or another control character but tab anywhere, more than 8 lines.
bool SplitLines(std::string_view text, std::vector<std::string_view>& lines, std::string& error);

// Takes the text after `prefix` from `line`, at most 8192 bytes.
bool TakeComment(std::string_view& line, std::string_view prefix, std::string& error);

}  // namespace trust
