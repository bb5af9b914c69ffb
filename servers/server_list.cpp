#include "servers/server_list.h"

#include <chrono>

#include "log/launcher_log.h"
#include "net/fetch_url.h"
#include "platform/codepage.h"
#include "platform/cp1254_literal.h"
#include "platform/file.h"
#include "servers/retry_delay.h"

using namespace platform::literals;

std::vector<ServerListLine> SplitServerList(const std::string& text) {
    std::vector<ServerListLine> lines;
    int number = 0;
    for (std::size_t at = 0; at < text.size();) {
        std::size_t end = text.find_first_of("\r\n", at);
        if (end == std::string::npos) end = text.size();
        ++number;
        if (end > at) {
            ServerListLine line{number, {std::string()}};
            for (std::size_t i = at; i < end; ++i) {
                if (text[i] == '|') {
                    line.fields.emplace_back();
                } else {
                    line.fields.back().push_back(text[i]);
                }
            }
            lines.push_back(std::move(line));
        }
        at = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
    }
    return lines;
}

std::vector<std::string> ServerListProblems(const std::string& text) {
    std::vector<std::string> problems;
    int servers = 0;
    for (const ServerListLine& line : SplitServerList(text)) {
        const std::string where = "line " + std::to_string(line.number) + ": ";
        if (line.fields.size() != 5) {
            problems.push_back(where + std::to_string(line.fields.size()) +
                               " fields; the launcher needs exactly 5 (name|x|x|arg1|arg2) and "
                               "stops reading here");
        } else if (line.fields[0].empty()) {
            problems.push_back(where + "no server name");
        } else if (line.fields[3].empty()) {
            problems.push_back(where + "the fourth field is empty; the game would not start");
        } else {
            ++servers;
        }
    }
    if (servers == 0 && problems.empty()) {
        problems.push_back("no server; every launcher would keep asking for the list");
    }
    return problems;
}

void LogEmptyServerList() {
    WriteLauncherLog("server listesi boş !"_cp1254);
}

void getServerList(const std::string& url, std::back_insert_iterator<std::vector<ServerEntry>> out,
                   std::function<bool()> stopRequested, const std::string& caFile,
                   const ServerListCheck& check) {
    const auto fetch = [&](const std::string& from, std::uint64_t cap) {
        talvo::utility::fetch_url list(from);
        list.set_timeout(500);
        list.set_max_size(cap);
        if (!caFile.empty()) list.transfer.add_ca_file(caFile);
        if (stopRequested) list.abort_when(stopRequested);
        return list.fetch();
    };
    std::string text = fetch(url, kMaxServerListBytes);
    // A fetch cut short by a stop brought no list, but no empty one either.
    if (stopRequested && stopRequested()) return;
    // Over https the server's certificate vouches for the list; else only
    // the publisher's signature does: a list anyone on the way could have
    // written names the servers the game connects to.
    const bool https =
        platform::equal_ignoring_ascii_case(std::string_view(url).substr(0, 8), "https://");
    if (check && !text.empty() && !https) {
        const std::string signature = fetch(url + kServerListSignatureSuffix, 64 << 10);
        if (stopRequested && stopRequested()) return;
        if (!check(text, signature)) text.clear();
    }
    parseServerList(text, out);
}

unsigned RunServerListStage(const ServerListSource& source, std::vector<ServerEntry>& servers,
                            const platform::ManualResetEvent& stopEvent) {
    if (source.serverTest) {
        std::string text;
        if (platform::read_file("serverlist.txt", text)) {
            parseServerList(text, std::back_inserter(servers));
        }
        return 0;
    }
    const auto stopRequested = [&stopEvent] { return stopEvent.is_set(); };
    std::function<bool(std::chrono::milliseconds)> wait = source.wait;
    if (!wait) wait = [&stopEvent](std::chrono::milliseconds ms) { return stopEvent.wait_for(ms); };
    RetryDelay delay(source.uniform);
    for (;;) {
        getServerList(source.url, std::back_inserter(servers), stopRequested, source.caFile,
                      source.check);
        if (!servers.empty()) return static_cast<unsigned>(servers.size());
        if (wait(delay.Next())) return 0;
    }
}
