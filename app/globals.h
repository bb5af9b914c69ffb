// The launcher's process-wide values.
//
// Start-up writes them on the main thread before the patch worker starts;
// afterwards they are only read, which is why they need no lock. The core
// (patch engine, server list) never reads them: the window hands it what
// it needs, so the engine also serves valdora-patch and the tests.
#pragma once

#include <memory>
#include <string>

#include "app/win32_event.h"

// Switch "test_launcher": no self-update.
extern bool g_testLauncher;
// Hidden switch "qmtr284", and "servertest": nothing is downloaded.
extern bool g_skipPatch;
// Switch "servertest": the server list comes from "serverlist.txt".
extern bool g_serverTest;
// The working directory at start (the game directory), in the file
// system's own bytes.
extern std::string g_gameDir;
// The update list on the patch server and the server list on the web site.
extern const std::string g_updateListUrl;
extern const std::string g_serverListUrl;
// The running-launcher marker, held from the window's initialisation until
// its destruction.
extern std::unique_ptr<win32_event> g_instanceEvent;

// Puts every value back to its initial state (for tests of start-up).
void ResetLauncherGlobals();
