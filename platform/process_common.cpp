// The parts of the process layer that are the same on every system.
#include "platform/process.h"

namespace platform {

std::vector<std::string> split_parameters(std::string_view parameters) {
    std::vector<std::string> words;
    std::size_t i = 0;
    while (i < parameters.size()) {
        while (i < parameters.size() && (parameters[i] == ' ' || parameters[i] == '\t')) ++i;
        std::size_t start = i;
        while (i < parameters.size() && parameters[i] != ' ' && parameters[i] != '\t') ++i;
        if (i > start) words.emplace_back(parameters.substr(start, i - start));
    }
    return words;
}

std::string quote_command_line(const std::vector<std::string>& words) {
    std::string line;
    for (const std::string& word : words) {
        if (!line.empty()) line += ' ';
        if (!word.empty() && word.find_first_of(" \t\"") == std::string::npos) {
            line += word;
            continue;
        }
        line += '"';
        std::size_t backslashes = 0;
        for (const char c : word) {
            if (c == '\\') {
                ++backslashes;
                continue;
            }
            // Backslashes before a quote are doubled, and the quote escaped.
            line.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
            backslashes = 0;
            line += c;
        }
        line.append(backslashes * 2, '\\');
        line += '"';
    }
    return line;
}

}  // namespace platform
