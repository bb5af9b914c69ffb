// The game-server list: one server a line, five "|"-separated fields
// (name, two fields kept for the site, the game's two arguments).
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
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

// One line of the list with text, cut at every "|" (empty fields kept).
// `number` counts lines from 1, a CR LF pair as one line break.
struct ServerListLine {
    int number = 0;
    std::vector<std::string> fields;
};

// The lines of a server-list text that hold anything, in order; CR, LF and
// CR LF all end a line. The one reading of the format: the launcher takes
// lines up to the first without exactly five fields.
std::vector<ServerListLine> SplitServerList(const std::string& text);

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
    for (const ServerListLine& line : SplitServerList(text)) {
        const std::vector<std::string>& f = line.fields;
        if (f.size() != 5) return;
        *out++ = ServerEntry{f[1], f[0], f[3], f[4], f[2]};
    }
}

// What a site's operator must hear about a server-list text before
// publishing it: each line the launcher would stop at or could not start
// the game from, or that no server is listed. Empty when all is well.
std::vector<std::string> ServerListProblems(const std::string& text);

// A longer reply is no server list.
inline constexpr std::uint64_t kMaxServerListBytes = 1 << 20;

// A signed server list's signature lies beside it: its URL and this.
inline constexpr const char* kServerListSignatureSuffix = ".minisig";
// Whether a server list's text is taken, given its signature's text ("" when
// none could be fetched); says why not in the log.
using ServerListCheck = std::function<bool(const std::string& text, const std::string& signature)>;

// Fetches `url` (at most 500 seconds and kMaxServerListBytes; abandoned as
// soon as `stopRequested` answers true, and then nothing is parsed or
// logged; https checked against the system's authorities and those of
// `caFile`) and parses the body into `out`. With `check`, a list not
// fetched over https is taken only when `check` accepts it with the
// signature beside it; else it counts as an empty list.
void getServerList(const std::string& url, std::back_insert_iterator<std::vector<ServerEntry>> out,
                   std::function<bool()> stopRequested = {}, const std::string& caFile = "",
                   const ServerListCheck& check = {});

// Where the stage of the patch run takes the list from.
struct ServerListSource {
    bool serverTest = false;  // read "serverlist.txt" in the current directory instead
    std::string url;          // the server-list endpoint
    std::string caFile;       // authorities trusted besides the system's (easy_curl::add_ca_file)
    ServerListCheck check;    // a launcher with trusted keys: its signature (getServerList)
    // Waits between attempts: the given time, or less when the run is asked
    // to stop (then true). By default on the stop event; tests pass a clock
    // of their own. `uniform` is RetryDelay's random source.
    std::function<bool(std::chrono::milliseconds)> wait;
    std::function<double()> uniform;
};

// The last stage of a patch run: fills `servers` and answers the count the
// run reports with them. From the endpoint, it asks until the list has an
// entry or `stopEvent` is set, waiting between
// attempts as RetryDelay says (50 ms, doubling up to 10 s, +/-20%); an
// attempt in progress is abandoned when `stopEvent` is set. In server-test
// mode it reads "serverlist.txt" once and answers 0.
unsigned RunServerListStage(const ServerListSource& source, std::vector<ServerEntry>& servers,
                            const platform::ManualResetEvent& stopEvent);
