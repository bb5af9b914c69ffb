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
    for (std::size_t at = 0; at < text.size();) {
        std::size_t end = text.find("\r\r\n", at);
        if (end == std::string::npos) end = text.size();
        const std::string line = text.substr(at, end - at);
        // "--- MM/DD/YY hh:mm:ss: message"
        if (line.rfind("--- ", 0) == 0 && line.size() >= 23) messages.push_back(line.substr(23));
        at = end + 3;
    }
    return messages;
}

}  // namespace testsupport
