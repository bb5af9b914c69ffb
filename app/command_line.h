// The launcher's command line, read once into the configuration record
// (patch/patch_options.h) that start-up hands to the window.
#pragma once

#include <string>
#include <string_view>

#include "patch/patch_options.h"

// The record before the command line is read: the compiled-in endpoints and
// trusted keys, and `gameDir`, the working directory at start.
PatchOptions LauncherOptions(std::string gameDir);

// The launcher's command line: its switches, everything else ignored.
class CMyCommandLineInfo {
public:
    // The switches go into `options`, which must outlive the parser.
    explicit CMyCommandLineInfo(PatchOptions& options) : options_(options) {}

    // One argument. `isSwitch` when it began with "-" or "/", and `param` is
    // then the text after that character. A switch sets what
    // ReadLaunchSwitch reads (patch/launch_switches.h). `isLast` is not used.
    void ParseParam(std::string_view param, bool isSwitch, bool isLast);

    // The last argument that was not a switch; nothing reads it.
    const std::string& plainArgument() const { return plainArgument_; }

private:
    PatchOptions& options_;
    std::string plainArgument_;
};

// Hands each argument after the program name to `info`, in order.
void ParseCommandLine(CMyCommandLineInfo& info, int argc, const char* const* argv);
