// What a run needs besides its window, and where it comes from: the values a
// program starts the engine with (LaunchValues: the launcher's start-up makes
// them for its window, valdora-patch from its own command line), turned into
// the run's options in one place.
#pragma once

#include <boost/function.hpp>
#include <cstdint>
#include <string>

#include "patch/launch_switches.h"

struct LaunchValues {
    LaunchSwitches switches;
    // The game directory in the file system's bytes.
    std::string gameDir;
    std::string updateListUrl;
    std::string serverListUrl;
    // scheme://host[:port] of the game's web site: the address named in the
    // too-much-to-download box, the host of the promotional pages.
    std::string webSite;
};

struct PatchOptions {
    bool skipPatch = false;     // compare and report, download nothing
    bool testLauncher = false;  // leave the launcher's own file out of the run
    bool serverTest = false;    // the server list from "serverlist.txt"
    // Made current before every group of file operations. Empty: the current
    // directory as it is.
    std::string gameDir;
    std::string serverListUrl;
    std::string webSite;
    // Milliseconds, wrapping at 2^32; by default since the process started.
    boost::function<std::uint32_t()> clock;
    // The update list and the files: at most this many bytes a second (0:
    // no cap), and a transfer that gets no byte for stallSeconds has failed.
    std::uint64_t maxRecvSpeed = 0;
    long stallSeconds = 30;
    // A "limit_rate=" switch that was ignored, logged when the run starts.
    std::string refusedLimitRate;

    PatchOptions();
};

PatchOptions MakePatchOptions(const LaunchValues& values);
