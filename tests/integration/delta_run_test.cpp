// Files of a signed site that publishes chunk indexes, changed in each of the
// usual ways against the copy a player has, served by nginx (ranges) or
// python's http.server (no ranges): what the engine fetches of them, and
// that it ends with the signed bytes whatever the index or the server does.
#include "delta/chunk_index.h"
#include "net/fetch_url.h"
#include "support/engine_run.h"
#include "support/process.h"
#include "support/signing.h"
#include "support/site.h"

namespace fs = std::filesystem;
using namespace testsupport;

namespace {

constexpr std::size_t kSize = 3 << 20;
constexpr std::uint64_t kSeam = 2 * 16384;  // at most two chunks around a change

class DeltaRun : public EngineRun {
protected:
    const trust::SecretKey key = NewKey();
    const fs::path build = dir.path() / "build", site = dir.path() / "site";
    Nginx nginx{site, dir.path() / "nginx", free_port()};
    std::size_t logged = 0;  // access log lines before the run

    DeltaRun() {
        TrustKey(key);
        options.maxTransfers = 8;
    }
    void publish_next(const Files& files, std::int64_t time = kTime) {
        fs::remove_all(build);
        write_tree(build, files, time);
        served = files;
        ASSERT_EQ(publish(build, site, nginx.url() + "/game", SignKey()), "");
    }
    // A run on the site `host` serves (its signed server list too).
    std::unique_ptr<PatchDownloader> run_here(const std::string& host) {
        logged = nginx.requests().size();
        options.serverListUrl = host + kServers;
        return run(host + kListPath);
    }
    // Requests and body bytes nginx sent since the run for paths holding `part`.
    std::pair<int, std::uint64_t> sent(const std::string& part) const {
        std::istringstream log(read_bytes(dir.path() / "nginx" / "logs" / "access.log"));
        std::pair<int, std::uint64_t> total;
        std::size_t line = 0;
        for (std::string text; std::getline(log, text); ++line) {
            const std::size_t end = text.find("\" ", text.find('"') + 1);
            if (line < logged || text.find(part) > end) continue;
            std::istringstream after(text.substr(end + 2));
            int status = 0;
            std::uint64_t bytes = 0;
            after >> status >> bytes;
            ++total.first;
            total.second += bytes;
        }
        return total;
    }
    // Where the site keeps the index of a file of these bytes (the short
    // form, which the launcher takes).
    fs::path index_of(const std::string& bytes) const {
        const std::string name = delta::IndexName(trust::Sha256Of(bytes), delta::kShortRecordBytes);
        for (const auto& e : fs::recursive_directory_iterator(site)) {
            if (e.path().filename() == name) return e.path();
        }
        return {};
    }
};

TEST_F(DeltaRun, AChangedFileCostsWhatChangedAndAnythingAmissFetchesItWhole) {
    std::string error;
    fs::create_directories(site);
    ASSERT_TRUE(nginx.start(error)) << error;
    const std::string base = pattern(kSize, 1), bit = pattern(30000, 2), other = pattern(kSize, 9);
    const std::string swapped = base.substr(kSize / 2) + base.substr(0, kSize / 2);
    enum Index { Signed, Tampered, Truncated, Another };
    // Another server than nginx: python's http.server (no ranges). Servers
    // that answer ranges wrongly: the hostile-server suite.
    enum Server { Nginx, Python };
    const struct {
        const char* what;
        std::string local, now;
        std::uint64_t most;  // bytes of big.pak fetched at most
        Index index = Signed;
        Server server = Nginx;
    } cases[] = {
        {"an insert at the start", base, bit + base, bit.size() + kSeam},
        {"an append", base, base + bit, bit.size() + kSeam},
        {"a truncation", base, base.substr(0, kSize - 100000), kSeam},
        {"shifted content", base, base.substr(70000) + bit, bit.size() + 2 * kSeam},
        {"reordered halves", base, swapped, 3 * kSeam},
        {"an unrelated file", other, base, kSize},
        {"the same bytes, another time", base, base, 0},
        {"python's http.server", base, bit + base, 0, Signed, Python},
        {"a tampered index", base, bit + base, kSize + bit.size(), Tampered},
        {"a truncated index", base, bit + base, kSize + bit.size(), Truncated},
        {"the index of another file", base, bit + base, kSize + bit.size(), Another},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        clear();
        // A day apart: the publisher moves the time of a file changed within
        // the hour.
        publish_next({{"big.pak", c.local}}, kTime - 86400);
        publish_next({{"big.pak", c.now}, {"o.pak", other}}, kTime);
        if (c.index != Signed) {
            // Over the site's own file, not a link shared with the last release.
            const fs::path index = index_of(c.now), copy = index.string() + ".x";
            std::string text = c.index == Another ? read_bytes(index_of(other)) : read_bytes(index);
            if (c.index == Tampered) text[100] ^= 1;
            write_bytes(copy, c.index == Truncated ? text.substr(0, 60) : text);
            fs::rename(copy, index);
        }
        write_tree(game, {{"big.pak", c.local}, {"o.pak", other}}, kOldTime);
        if (c.server == Python) {
            const std::string host = "http://127.0.0.1:" + std::to_string(free_port());
            Child python({"python3", "-m", "http.server", "--bind", "127.0.0.1",
                          host.substr(host.rfind(':') + 1), "--directory", site.string()},
                         dir.path());
            ASSERT_TRUE(wait_until(
                [&] { return !talvo::utility::fetch_url(host + kListPath).fetch().empty(); }));
            run_here(host);
        } else {
            run_here(nginx.url());
            EXPECT_LE(sent("/big.pak").second, c.most);
        }
        EXPECT_EQ(differences(game, served), Log{});
        std::string text;
        for (const std::string& line : log()) text += line + "\n";
        const bool refused = text.find("do\xF0rulama") != std::string::npos;
        EXPECT_EQ(refused, c.index != Signed) << text;
        EXPECT_EQ(text.find(".index3: not the signed bytes") != std::string::npos,
                  c.index != Signed);
    }
}

// A delta cut short by a stop goes on at the next run without fetching again
// the chunks it already wrote; --verify mends a damaged file by its chunks.
TEST_F(DeltaRun, ACutDeltaGoesOnAndVerifyingMendsByChunks) {
    std::string error;
    fs::create_directories(site);
    const std::string listen = nginx.listen();
    Nginx slow(site, dir.path() / "slow", std::stoi(listen.substr(listen.find(':') + 1)), "100k");
    ASSERT_TRUE(slow.start(error)) << error;
    std::string base = pattern(kSize, 3), now = base;
    std::uint64_t changed = 0;
    // Four ranges: nginx sends a second's worth at once, then 100 KB a second.
    for (const auto& [at, n] :
         {std::pair{100000, 150000}, {600000, 300000}, {1200000, 500000}, {2000000, 900000}}) {
        now.replace(at, n, pattern(n, static_cast<unsigned>(at)));
        changed += n;
    }
    publish_next({{"big.pak", base}}, kTime - 86400);
    publish_next({{"big.pak", now}});
    write_tree(game, {{"big.pak", base}}, kOldTime);
    const auto d = start(nginx.url(kListPath));
    // Stopped once the first two changes are in the scratch file.
    ASSERT_TRUE(wait_until(
        [&] {
            const std::string made = read_bytes(game / "~temp.dat");
            return made.size() > 900000 && made.compare(100000, 150000, now, 100000, 150000) == 0 &&
                   made.compare(600000, 300000, now, 600000, 300000) == 0;
        },
        std::chrono::seconds(30)));
    ASSERT_TRUE(d->Stop(std::chrono::milliseconds(2000)));
    EXPECT_TRUE(fs::exists(game / "~temp.dat.resume"));
    slow.stop();
    ASSERT_TRUE(nginx.start(error)) << error;
    run_here(nginx.url());
    EXPECT_EQ(differences(game, served), Log{});
    EXPECT_LE(sent("/big.pak").second, changed + 4 * kSeam - 450000);

    std::fstream(game / "big.pak", std::ios::in | std::ios::out).seekp(kSize / 3).put('x');
    set_write_time(game / "big.pak", kTime);
    options.verifyAll = true;
    run_here(nginx.url());
    EXPECT_EQ(differences(game, served), Log{});
    EXPECT_LE(sent("/big.pak").second, kSeam);
}

// The size limit counts what a run will fetch: a change to a file of more
// than 70 MiB patches; the same file with no copy to start from is still
// too much.
TEST_F(DeltaRun, TheSizeLimitCountsWhatWillBeFetched) {
    std::string error;
    fs::create_directories(site);
    ASSERT_TRUE(nginx.start(error)) << error;
    const std::string old = pattern(71 << 20, 4);
    publish_next({{"big.pak", old}}, kTime - 86400);
    publish_next({{"big.pak", pattern(20000, 5) + old}});
    for (const bool copy : {true, false}) {
        clear();
        if (copy) write_tree(game, {{"big.pak", old}}, kOldTime);
        run_here(nginx.url());
        EXPECT_EQ(report.boxes.empty(), copy);
        EXPECT_EQ(report.values.back().index(), (copy ? Reported(Ready{2}) : Quit{}).index());
        EXPECT_EQ(differences(game, served).empty(), copy);
        EXPECT_LE(sent("/big.pak").second, copy ? 20000 + kSeam : 0);
    }
}

}  // namespace
