// The game-server list: one server a line, five "|"-separated fields
// (name, two fields kept for the site, the game's two arguments).
#pragma once

#include <boost/algorithm/string/classification.hpp>
#include <boost/algorithm/string/split.hpp>
#include <boost/function.hpp>
#include <boost/thread/mutex.hpp>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/event.h"

// One line of the list. `name` is UTF-8; the others are bytes as sent.
struct ServerEntry {
    std::string extra1;    // field 2
    std::string name;      // field 1
    std::string gameArg1;  // field 4
    std::string gameArg2;  // field 5
    std::string extra2;    // field 3
};

// Logs that the list came empty. Out of the template below: clang 14 leaves
// a compile-time literal inside a function template unresolved.
void LogEmptyServerList();

// Appends one entry per line to `out`. An empty text is logged; the first
// line without exactly five fields ends the list (earlier entries stay).
template <class OutputIterator>
void parseServerList(const std::string& text, OutputIterator out) {
    if (text.empty()) {
        LogEmptyServerList();
        return;
    }
    std::vector<std::string> lines;
    boost::algorithm::split(lines, text, boost::algorithm::is_any_of("\r\n"),
                            boost::algorithm::token_compress_on);
    std::vector<std::string> fields;
    for (const std::string& line : lines) {
        if (line.empty()) continue;
        fields.clear();
        boost::algorithm::split(fields, line, boost::algorithm::is_any_of("|"),
                                boost::algorithm::token_compress_off);
        if (fields.size() != 5) return;
        *out++ = ServerEntry{fields[1], fields[0], fields[3], fields[4], fields[2]};
    }
}

// A longer reply is no server list.
inline constexpr std::uint64_t kMaxServerListBytes = 1 << 20;

// Fetches `url` (at most 500 seconds and kMaxServerListBytes; abandoned as
// soon as `stopRequested` answers true, and then nothing is parsed or
// logged) and parses the body into `out`.
void getServerList(const std::string& url, std::back_insert_iterator<std::vector<ServerEntry>> out,
                   boost::function<bool()> stopRequested = {});

// Where the stage of the patch run takes the list from.
struct ServerListSource {
    bool serverTest = false;  // read "serverlist.txt" in the current directory instead
    std::string url;          // the server-list endpoint
};

// The last stage of a patch run: fills `servers` and answers the count for
// WM_SERVERLIST_READY. From the endpoint, it asks under `serversMutex`
// until the list has an entry or `stopEvent` is set, 50 ms apart; an
// attempt in progress is abandoned when `stopEvent` is set. In server-test
// mode it reads "serverlist.txt" once and answers 0.
unsigned RunServerListStage(const ServerListSource& source, std::vector<ServerEntry>& servers,
                            boost::mutex& serversMutex,
                            const platform::ManualResetEvent& stopEvent);
