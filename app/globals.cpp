#include "app/globals.h"

#include "endpoints/endpoints.h"
#include "trusted_keys/trusted_keys.h"

bool g_testLauncher = false;
bool g_skipPatch = false;
bool g_serverTest = false;
std::uint64_t g_limitRate = 0;
std::string g_refusedLimitRate;
std::size_t g_maxTransfers = kDefaultTransfers;
std::string g_refusedMaxTransfers;
std::string g_gameDir;
const std::string g_updateListUrl = valdora::UpdateListUrl();
const std::string g_serverListUrl = valdora::ServerListUrl();

void ResetLauncherGlobals() {
    g_testLauncher = false;
    g_skipPatch = false;
    g_serverTest = false;
    g_limitRate = 0;
    g_refusedLimitRate.clear();
    g_maxTransfers = kDefaultTransfers;
    g_refusedMaxTransfers.clear();
    g_gameDir.clear();
}

LaunchValues LauncherStartValues() {
    LaunchValues values;
    values.switches = {g_testLauncher,     g_skipPatch,    g_serverTest,         g_limitRate,
                       g_refusedLimitRate, g_maxTransfers, g_refusedMaxTransfers};
    values.gameDir = g_gameDir;
    values.updateListUrl = g_updateListUrl;
    values.serverListUrl = g_serverListUrl;
    values.webSite = valdora::kWebHost;
    values.trustedKeys.assign(valdora::kTrustedKeys.begin(), valdora::kTrustedKeys.end());
    return values;
}
