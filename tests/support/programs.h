// valdora-patch as a test runs it: this build's, or with
// VALDORA_WINDOWS_PROGRAMS=DIR the Windows build's in DIR under wine64.
#pragma once

#include <cstdlib>
#include <string>
#include <vector>

namespace testsupport {

inline bool windows_programs() {
    const char* windows = std::getenv("VALDORA_WINDOWS_PROGRAMS");
    return windows != nullptr && *windows != '\0';
}

inline std::vector<std::string> patch_program() {
    if (!windows_programs()) return {VALDORA_PATCH_EXE};
    return {VALDORA_WINE_RUN,
            std::getenv("VALDORA_WINDOWS_PROGRAMS") + std::string("/valdora-patch.exe")};
}

// `command` and then `args`.
inline std::vector<std::string> with(std::vector<std::string> command,
                                     const std::vector<std::string>& args) {
    command.insert(command.end(), args.begin(), args.end());
    return command;
}

}  // namespace testsupport
