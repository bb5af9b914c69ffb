#include "trust/text_lines.h"

#include <algorithm>

namespace trust {

bool SplitLines(std::string_view text, std::vector<std::string_view>& lines, std::string& error) {
    lines.clear();
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte < 0x20 && c != '\t' && c != '\n') || byte == 0x7F) {
            error = "holds a CR or another control character";
            return false;
        }
    }
    if (!text.empty() && text.back() == '\n') text.remove_suffix(1);
    if (text.empty()) {
        error = "empty";
        return false;
    }
    for (std::size_t at = 0; at <= text.size() && lines.size() <= 8;) {
        const std::size_t end = std::min(text.find('\n', at), text.size());
        lines.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    if (lines.size() > 8) {
        error = "too many lines";
        return false;
    }
    return true;
}

bool TakeComment(std::string_view& line, std::string_view prefix, std::string& error) {
    if (line.substr(0, prefix.size()) != prefix) {
        error = "a line does not begin with \"" + std::string(prefix) + "\"";
        return false;
    }
    line.remove_prefix(prefix.size());
    if (line.size() > 8192) {
        error = "a comment longer than 8192 bytes";
        return false;
    }
    return true;
}

}  // namespace trust
