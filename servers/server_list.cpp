#include "servers/server_list.h"

#include <chrono>

#include "log/launcher_log.h"
#include "net/fetch_url.h"
#include "platform/cp1254_literal.h"
#include "platform/file.h"

using namespace platform::literals;

void LogEmptyServerList() {
    WriteLauncherLog("server listesi boş !"_cp1254);
}

void getServerList(const std::string& url, std::back_insert_iterator<std::vector<ServerEntry>> out,
                   boost::function<bool()> stopRequested) {
    talvo::utility::fetch_url list(url);
    list.set_timeout(500);
    list.set_max_size(kMaxServerListBytes);
    if (stopRequested) list.abort_when(stopRequested);
    const std::string text = list.fetch();
    // A fetch cut short by a stop brought no list, but no empty one either.
    if (stopRequested && stopRequested()) return;
    parseServerList(text, out);
}

unsigned RunServerListStage(const ServerListSource& source, std::vector<ServerEntry>& servers,
                            boost::mutex& serversMutex,
                            const platform::ManualResetEvent& stopEvent) {
    if (source.serverTest) {
        // The window copies the list only after the message that follows,
        // so no lock is needed here.
        std::string text;
        if (platform::read_file("serverlist.txt", text)) {
            parseServerList(text, std::back_inserter(servers));
        }
        return 0;
    }
    const auto stopRequested = [&stopEvent] { return stopEvent.is_set(); };
    for (;;) {
        std::size_t count = 0;
        {
            boost::mutex::scoped_lock lock(serversMutex);
            getServerList(source.url, std::back_inserter(servers), stopRequested);
            count = servers.size();
        }
        if (count != 0) return static_cast<unsigned>(count);
        if (stopEvent.wait_for(std::chrono::milliseconds(50))) return 0;
    }
}
