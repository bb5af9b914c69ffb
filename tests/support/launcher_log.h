// The messages of "base/launcher_log.txt" in a directory, without their
// date stamps, in order.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "support/files.h"

namespace testsupport {

inline std::vector<std::string> log_messages(const std::filesystem::path& dir) {
    const std::string text = read_bytes(dir / "base" / "launcher_log.txt");
    std::vector<std::string> messages;
    for (std::size_t at = 0, end; at < text.size(); at = end + 3) {
        end = std::min(text.find("\r\r\n", at), text.size());
        // "--- MM/DD/YY hh:mm:ss: message"
        if (text.compare(at, 4, "--- ") == 0)
            messages.push_back(text.substr(at + 23, end - at - 23));
    }
    return messages;
}

}  // namespace testsupport
