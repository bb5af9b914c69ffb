// The launcher's process-wide values.
//
// Start-up writes them on the main thread before anything else runs and reads
// them once more to make the window's start-up values; nothing below app/
// reads them: the window and the engine are handed what they need.
#pragma once

#include <cstdint>
#include <string>

#include "patch/patch_options.h"

// Switch "test_launcher": no self-update.
extern bool g_testLauncher;
// Hidden switch "qmtr284", and "servertest": nothing is downloaded.
extern bool g_skipPatch;
// Switch "servertest": the server list comes from "serverlist.txt".
extern bool g_serverTest;
// Switch "limit_rate=RATE": the download cap in bytes a second (0: none),
// and the last such switch whose RATE was refused ("" when none was).
extern std::uint64_t g_limitRate;
extern std::string g_refusedLimitRate;
// Switch "max_transfers=N": requests in flight at once, and the last such
// switch whose N was refused.
extern std::size_t g_maxTransfers;
extern std::string g_refusedMaxTransfers;
// The working directory at start (the game directory), in the file
// system's own bytes.
extern std::string g_gameDir;
// The update list on the patch server and the server list on the web site.
extern const std::string g_updateListUrl;
extern const std::string g_serverListUrl;

// Puts every value back to its initial state (for tests of start-up).
void ResetLauncherGlobals();

// The window's start-up values: the values above, the web site and the
// compiled-in trusted keys.
LaunchValues LauncherStartValues();
