// A cut download goes on in the next run or starts over, a stalled server
// fails, many files in flight, the server list is asked for less often, a
// speed limit, a proxy.
#include "net/multi_curl.h"
#include "patch/launch_switches.h"
#include "patch/resume_record.h"
#include "servers/server_list.h"
#include "support/engine_run.h"
#include "support/process.h"

namespace fs = std::filesystem;
using namespace testsupport;

namespace {

constexpr std::size_t kSize = 64 << 10, kHalf = kSize / 2;
const std::string kEtag = "\"v1\"";

Reply part(int status, const std::string& body, const std::string& range,
           const std::string& etag = kEtag) {
    return {status, body, Reply::Mode::Plain, {{"ETag", etag}, {"Content-Range", range}}};
}

struct Transfer : EngineRun {
    Transfer() { fs::current_path(game); }
    // A run that may leave "~temp.dat" behind.
    void run_keeping() { ASSERT_TRUE(start()->WaitForEnd(std::chrono::seconds(60))); }
};

TEST_F(Transfer, ACutDownloadGoesOnNextRunOrStartsOverWhenAnythingDoesNotFit) {
    const std::string bytes = pattern(kSize, 3), rest = bytes.substr(kHalf);
    const std::string tail = "bytes 32768-65535/65536";
    const std::string asked = "bytes=32768- " + kEtag;
    const Reply cut{200, bytes, Reply::Mode::Drop, {{"ETag", kEtag}}};
    const Files changed = {{"a.pak", bytes + "x"}};
    const struct {
        const char* what;
        std::function<void()> between;    // done to the game directory between the runs
        std::vector<Reply> replies = {};  // to the second run (the whole file follows)
        std::string range = "";           // what the second run asked for first
        int requests = 1;                 // of the second run
    } cases[] = {
        {"the rest (half a record of a killed run beside)",
         [] { write_bytes(kNewRecordFile, "valdora resume 1\n"); },
         {part(206, rest, tail)},
         asked},
        {"a 200 instead", [] {}, {{200, bytes}}, asked},
        {"a wrong Content-Range", [] {}, {part(206, bytes, "bytes 0-65535/65536")}, asked, 2},
        {"a 206 for another range", [] {}, {part(206, rest, "bytes 32768-65536/65537")}, asked, 2},
        {"the range refused", [] {}, {{416, ""}}, asked, 2},
        {"a changed file behind a 206", [] {}, {part(206, rest, tail, "\"v2\"")}, asked, 2},
        {"a body past the list's size",
         [] {},
         {{206, rest, Reply::Mode::Endless, {{"Content-Range", tail}}}},
         asked},
        {"a changed list entry", [&] { serve(changed); }},
        {"a garbage record", [] { write_bytes(kResumeRecordFile, "valdora resume 1\nurl"); }},
        {"a truncated record", [] { fs::resize_file(kResumeRecordFile, 40); }},
        {"a partial past the list's size", [&] { write_bytes("~temp.dat", bytes + "x"); }},
        {"another file in the partial's place",
         [] { fs::copy_file("~temp.dat", "copy"), fs::rename("copy", "~temp.dat"); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        clear();
        serve({{"a.pak", bytes}}, {{"a.pak", {cut}}});
        run_keeping();
        EXPECT_EQ(report.values.front(), Reported(Failed{FailureKind::Transfer, 18}));
        ASSERT_EQ(read_bytes("~temp.dat"), bytes.substr(0, kHalf));
        c.between();
        std::vector<Reply> replies = c.replies;
        replies.push_back({200, served.begin()->second});
        server.serve("/files/a.pak", replies);
        const int before = server.requests("/files/a.pak");
        run_keeping();
        EXPECT_EQ(server.ranges("/files/a.pak").at(before), c.range);
        EXPECT_EQ(server.requests("/files/a.pak") - before, c.requests);
        if (c.what != std::string("a body past the list's size")) {
            // The file's bytes count once, those that were on disk included.
            EXPECT_EQ(report.values.front(), Reported(ProgressReport{10000, 10000, 1, 1}));
        } else {
            EXPECT_EQ(report.values.front(), Reported(Failed{FailureKind::Transfer, 23}));
            run_keeping();  // the partial is gone: all of it again
            EXPECT_EQ(server.ranges("/files/a.pak").back(), "");
        }
        EXPECT_EQ(differences(game, served), Log{});
        EXPECT_EQ(strays(game, served), Log{});
    }
}

// A partial replaced by a symlink is never written through: the link is
// removed and the file comes whole.
TEST_F(Transfer, APartialReplacedByASymlinkIsReplaced) {
    const std::string bytes = pattern(kSize, 4);
    serve({{"a.pak", bytes}}, {{"a.pak", {{200, bytes, Reply::Mode::Drop, {{"ETag", kEtag}}}}}});
    run_keeping();
    write_bytes(dir.path() / "elsewhere", "keep");
    fs::remove("~temp.dat");
    fs::create_symlink(dir.path() / "elsewhere", "~temp.dat");
    run_keeping();
    EXPECT_EQ(report.values.back(), Reported(Ready{2}));
    EXPECT_EQ(read_bytes(dir.path() / "elsewhere"), "keep");
    EXPECT_EQ(differences(game, {{"a.pak", bytes}}), Log{});
    EXPECT_EQ(server.ranges("/files/a.pak"), (Log{"", ""}));  // whole, twice
}

// Eight requests in flight: a failure or a stall among them fails that file
// alone (those in flight finish, no file starts after it), a stop ends them
// all at once and is no failure; "download ediliyor" comes in list order,
// and the next run brings the rest.
TEST_F(Transfer, OneFileOfManyInFlightFailsStallsOrStopsAlone) {
    options.maxTransfers = 8;
    Files files;
    for (unsigned i = 0; i < 24; ++i) files["f" + std::to_string(10 + i)] = pattern(20000, i);
    const struct {
        const char* what;
        Reply reply;  // of f13, or (stop) of every file
        int failed;   // libcurl's code
    } cases[] = {
        {"a failure", {500, "x"}, 22},
        // A stall shows at once: libcurl averages the speed over seconds.
        {"a stall", {200, "ab", Reply::Mode::Stall}, 28},
        {"a stop", {200, "ab", Reply::Mode::Stall}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        clear();
        options.stallSeconds = 1;
        Replies replies = {{"f13", {c.reply}}};
        if (c.failed == 0) {
            for (const auto& [path, bytes] : files) replies[path] = {c.reply};
        }
        serve(files, replies);
        const int before = server.requests("/files/");
        const auto d = start();
        if (c.failed == 0) {
            ASSERT_TRUE(wait_until([&] { return server.requests("/files/") >= before + 6; }));
            EXPECT_TRUE(d->Stop(std::chrono::milliseconds(2000)));
        }
        ASSERT_TRUE(d->WaitForEnd(std::chrono::seconds(30)));
        const Reports& reports = report.values;
        EXPECT_EQ(std::count(reports.begin(), reports.end(),
                             Reported(Failed{FailureKind::Transfer, c.failed})),
                  c.failed != 0)
            << ::testing::PrintToString(reports);
        // A stopped run ends there, saying nothing of what did not come.
        EXPECT_EQ(!reports.empty() && reports.back() == Reported(Ready{2}), c.failed != 0);
        Log started;
        for (const std::string& line : log()) {
            if (line.find(" download ediliyor...") != std::string::npos) started.push_back(line);
        }
        EXPECT_TRUE(std::is_sorted(started.begin(), started.end()));
        EXPECT_GE(started.size(), 8u);
        if (c.reply.status == 500) {
            EXPECT_LT(started.size(), files.size());
        }
        EXPECT_FALSE(fs::exists("f13"));
        EXPECT_EQ(strays(game, files), Log{});  // no scratch file left
        EXPECT_GT(server.connections("/files/"), 1);
        serve(files);
        options.stallSeconds = 30;  // the server's threads may still be in the stalls
        run();
        EXPECT_EQ(differences(game, files), Log{});
    }
}

// The speed cap holds for all transfers in flight together, on the bytes as
// they came over the wire (headers, gzip bodies as sent), on a clock of the
// test's own: while it stands still no more than a burst and a piece held
// back per transfer come, then the cap's worth a second; the bodies come
// whole.
TEST_F(Transfer, TheSpeedCapHoldsForAllTransfersOnTheBytesOnTheWire) {
    using namespace std::chrono;
    constexpr std::uint64_t kRate = 256 << 10, kBurst = kRate / 10;
    constexpr std::size_t kCount = 4;
    std::string body;  // gzip makes about half of it
    for (unsigned i = 0; body.size() < kRate; ++i) body += pattern(512, i) + std::string(512, 'a');
    steady_clock::time_point now{};
    talvo::utility::multi_curl transfers(8, [&] { return now; });
    transfers.set_limit_rate(kRate);
    talvo::utility::easy_curl curls[kCount];
    std::string got[kCount];
    for (std::size_t i = 0; i < kCount; ++i) {
        const std::string path = "/z" + std::to_string(i);
        server.serve(path, {{200, body, Reply::Mode::Gzip}});
        curls[i].url = server.url(path);
        curls[i].write_function = [&got, i](char* data, std::size_t size, std::size_t n, void*) {
            got[i].append(data, size * n);
            return size * n;
        };
        ASSERT_TRUE(transfers.add(curls[i]));
    }
    const auto wire = [&] {
        std::uint64_t bytes = 0;
        for (const auto& c : curls) bytes += c.received() + c.header_bytes();
        return bytes;
    };
    const auto allowed = [&, start = now] {
        return kBurst + kRate * duration_cast<milliseconds>(now - start).count() / 1000 +
               kCount * (CURL_MAX_WRITE_SIZE + 1024);
    };
    std::size_t ended = 0;
    const auto steps = [&](int n) {
        for (int i = 0; i < n && ended < kCount; ++i) {
            for (const auto& e : transfers.run(5ms)) ended += e.code == CURLE_OK;
            ASSERT_LE(wire(), allowed())
                << duration_cast<milliseconds>(now - steady_clock::time_point{}).count();
        }
    };
    steps(40);
    EXPECT_GT(wire(), 0u);
    EXPECT_EQ(ended, 0u);
    while (ended < kCount && now < steady_clock::time_point{} + 60s) {
        now += 100ms;
        steps(20);
    }
    ASSERT_EQ(ended, kCount);
    EXPECT_LT(wire(), kCount * body.size() * 3 / 4);  // compressed as it came
    for (const std::string& bytes : got) EXPECT_TRUE(bytes == body);
}

// Waits of the server-list loop on a clock of the test's own: 50 ms after
// the first failure, twice as long after each further one up to 10 s, each
// moved by the random draw up to 20% either way; the first list ends the
// loop, and so does a stop while it waits.
TEST_F(Transfer, TheServerListIsAskedForLessAndLessOften) {
    ServerListSource source;
    source.url = server.url(kServers);
    std::vector<long> waits;
    source.wait = [&](std::chrono::milliseconds ms) { return waits.push_back(ms.count()), false; };
    std::vector<ServerEntry> servers;
    platform::ManualResetEvent stop;
    for (const double draw : {0.0, 0.5, 1.0}) {
        std::vector<Reply> replies(12, Reply{500, kServerList});
        replies.push_back({200, kServerList});
        server.serve(kServers, replies);
        source.uniform = [draw] { return draw; };
        waits.clear();
        servers.clear();
        EXPECT_EQ(RunServerListStage(source, servers, stop), 2u);
        std::vector<long> expected;
        for (double ms = 50; expected.size() < 12; ms = std::min(ms * 2, 1e4)) {
            expected.push_back(std::lround(ms * (0.8 + 0.4 * draw)));
        }
        EXPECT_EQ(waits, expected) << draw;
    }
    source.wait = [](std::chrono::milliseconds) { return true; };
    server.serve(kServers, {{500, ""}});
    servers.clear();
    const int before = server.requests(kServers);
    EXPECT_EQ(RunServerListStage(source, servers, stop), 0u);
    EXPECT_EQ(server.requests(kServers), before + 1);
}

// RATE as curl's --limit-rate reads it, and the number of requests in
// flight; a bad one: valdora-patch stops with 64 and says why, the launcher
// ignores the switch and logs it.
TEST_F(Transfer, ASpeedLimitIsReadAsCurlReadsIt) {
    const std::pair<const char*, std::uint64_t> good[] = {
        {"4M", 4 << 20}, {"512k", 512 << 10}, {"10", 10}, {"7B", 7}, {"1g", 1ull << 30}, {"0", 0}};
    for (const auto& [text, bytes] : good) {
        std::uint64_t rate = 1;
        EXPECT_TRUE(ParseRate(text, rate) && rate == bytes) << text;
    }
    for (const char* bad : {"", "M", "-1", "+1", "1.5M", "4MB", "4 M", " 4", "4T",
                            "9223372036854775808", "8589934592G"}) {
        std::uint64_t rate = 0;
        EXPECT_FALSE(ParseRate(bad, rate)) << bad;
        const Result r = testsupport::run({VALDORA_PATCH_EXE, "--limit-rate", bad}, game);
        EXPECT_EQ(r.status, 64);
        EXPECT_NE(r.output.find("--limit-rate " + std::string(bad) + ": not a rate"),
                  std::string::npos);
    }
    // The requests in flight likewise: 1 to 16.
    const std::pair<const char*, int> counts[] = {
        {"1", 1},  {"16", 16}, {"08", 8},
        {"0", 0},  {"17", 0},  {"", 0},
        {"-1", 0}, {"4x", 0},  {"99999999999999999999", 0}};
    for (const auto& [text, n] : counts) {
        std::size_t transfers = 99;
        EXPECT_EQ(ParseTransfers(text, transfers), n != 0) << text;
        EXPECT_EQ(transfers, n != 0 ? std::size_t(n) : 99u) << text;
        if (n != 0) continue;
        const Result r = testsupport::run({VALDORA_PATCH_EXE, "--max-transfers", text}, game);
        EXPECT_EQ(r.status, 64);
        EXPECT_NE(r.output.find("--max-transfers " + std::string(text) + ": not a number"),
                  std::string::npos);
    }
    PatchOptions s;
    ReadLaunchSwitches(
        {"-LIMIT_RATE=2m", "-limit_rate=fast", "/Max_Transfers=3", "-max_transfers=17"}, s);
    EXPECT_EQ(s.limitRate, 2u << 20);
    EXPECT_EQ(s.maxTransfers, 3u);
    options.refusedLimitRate = s.refusedLimitRate;
    options.refusedMaxTransfers = s.refusedMaxTransfers;
    serve({});
    run_keeping();
    EXPECT_EQ(log().at(0),
              "H\xFDz s\xFDn\xFDr\xFD okunamad\xFD, yok say\xFDld\xFD: -limit_rate=fast");
    EXPECT_EQ(log().at(1),
              "E\xFEzamanl\xFD indirme say\xFDs\xFD okunamad\xFD, yok "
              "say\xFDld\xFD: -max_transfers=17");
}

// valdora-patch through tinyproxy, started here on a free port, as the
// proxy variables name it; no_proxy passes it by.
TEST_F(Transfer, APatchGoesThroughTheProxyTheEnvironmentNames) {
    const int port = free_port();
    const fs::path proxyLog = dir.path() / "tinyproxy.log";
    write_bytes(dir.path() / "tinyproxy.conf", "Port " + std::to_string(port) +
                                                   "\nListen 127.0.0.1\nLogLevel Info\nLogFile \"" +
                                                   proxyLog.string() + "\"\n");
    Child proxy({"tinyproxy", "-d", "-c", (dir.path() / "tinyproxy.conf").string()}, dir.path());
    ASSERT_TRUE(
        wait_until([&] { return read_bytes(proxyLog).find("Accepting") != std::string::npos; }));
    const std::string proxyUrl = "http://127.0.0.1:" + std::to_string(port);
    for (const std::string noProxy : {"", "127.0.0.1"}) {
        clear();
        serve({{"a.pak", "through"}});
        const std::size_t logged = read_bytes(proxyLog).size();
        const Result r =
            testsupport::run({VALDORA_PATCH_EXE, "--update-list", server.url(kListPath),
                              "--server-list", server.url(kServers)},
                             game, {{"http_proxy", proxyUrl}, {"no_proxy", noProxy}});
        EXPECT_EQ(r.status, 0) << r.output;
        EXPECT_EQ(differences(game, served), Log{});
        const bool proxied = read_bytes(proxyLog).find("GET " + server.url("/files/a.pak"),
                                                       logged) != std::string::npos;
        EXPECT_EQ(proxied, noProxy.empty());
    }
}

}  // namespace
