// The programs a test runs: this build's own, or with
// VALDORA_WINDOWS_PROGRAMS=DIR in the environment the Windows builds of
// them in DIR (tools/windows-build.sh), under wine64 (tools/wine-run.sh).
#pragma once

#include <cstdlib>
#include <string>
#include <vector>

namespace testsupport {

inline bool windows_programs() {
    const char* windows = std::getenv("VALDORA_WINDOWS_PROGRAMS");
    return windows != nullptr && *windows != '\0';
}

// The command line that starts `built`, or the Windows program `windowsName`.
inline std::vector<std::string> program(const std::string& built, const std::string& windowsName) {
    if (!windows_programs()) return {built};
    return {VALDORA_WINE_RUN,
            std::string(std::getenv("VALDORA_WINDOWS_PROGRAMS")) + "/" + windowsName};
}

inline std::vector<std::string> patch_program() {
    return program(VALDORA_PATCH_EXE, "valdora-patch.exe");
}

// `command` and then `args`.
inline std::vector<std::string> with(std::vector<std::string> command,
                                     const std::vector<std::string>& args) {
    command.insert(command.end(), args.begin(), args.end());
    return command;
}

}  // namespace testsupport
