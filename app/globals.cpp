#include "app/globals.h"

#include "app/endpoints.h"

bool g_testLauncher = false;
bool g_skipPatch = false;
bool g_serverTest = false;
std::string g_gameDir;
const std::string g_updateListUrl =
    std::string(valdora::kPatchHost) + "/Patcher/1000_1.0.0.1_Update.txt";
const std::string g_serverListUrl = std::string(valdora::kWebHost) + "/serverlist_test.aspx";
std::unique_ptr<win32_event> g_instanceEvent;

void ResetLauncherGlobals() {
    g_testLauncher = false;
    g_skipPatch = false;
    g_serverTest = false;
    g_gameDir.clear();
    g_instanceEvent.reset();
}
