// The launcher's command line: three switches, everything else ignored.
#pragma once

#include <string>
#include <string_view>

class CMyCommandLineInfo {
public:
    // One argument. `isSwitch` when it began with "-" or "/", and `param` is
    // then the text after that character. A switch sets the process-wide
    // flags as ReadLaunchSwitch reads it (patch/launch_switches.h). `isLast`
    // is not used.
    void ParseParam(std::string_view param, bool isSwitch, bool isLast);

    // The last argument that was not a switch; nothing reads it.
    const std::string& plainArgument() const { return plainArgument_; }

private:
    std::string plainArgument_;
};

// Hands each argument after the program name to `info`, in order.
void ParseCommandLine(CMyCommandLineInfo& info, int argc, const char* const* argv);
