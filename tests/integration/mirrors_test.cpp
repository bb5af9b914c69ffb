// Mirrors through the real engine: a site signed by valdora-publish with one
// mirror, nginx serving a copy of the site folder. The primary (the test's
// server) fails every request for the release's files in one way per row,
// or the mirror is partial or behind: each failed request moves to the other
// host, the game ends as published, and a host that keeps failing is set
// aside with one log line. With the primary gone, the list comes from the
// mirror the last release named, under the same rollback rule.
#include "patch/mirror_list.h"
#include "support/engine_run.h"
#include "support/signing.h"
#include "support/site.h"

namespace fs = std::filesystem;
using namespace testsupport;

namespace {

TEST_F(EngineRun, MirrorsTakeOverEveryRequestThePrimaryFails) {
    TrustKey(NewKey());
    options.maxTransfers = 8;
    const fs::path site = dir.path() / "site", mirror = dir.path() / "mirror";
    Nginx nginx(mirror, dir.path() / "nginx", free_port());
    // Version 1, then version 2: small files and one of 2 MiB, changed in
    // a few places, which the run patches from version 1's copy.
    Files v1 = {{"big.pak", pattern(2 << 20, 1)}}, v2;
    for (unsigned i = 0; i < 12; ++i) v1["d/f" + std::to_string(i)] = pattern(3000 + i, i);
    v2 = v1;
    for (const std::size_t at : {1000u, 900000u, 1800000u}) {
        v2["big.pak"].replace(at, 5000, pattern(5000, unsigned(at)));
    }
    v2["big.pak"].insert(1000000, pattern(100, 7));  // a new size: the list's time holds
    v2["d/f3"] = pattern(4000, 99);
    std::vector<fs::path> copies;
    for (const Files* files : {&v1, &v2}) {
        fs::remove_all(dir.path() / "build");
        write_tree(dir.path() / "build", *files);
        ASSERT_EQ(
            publish(dir.path() / "build", site, server.url("/game"),
                    {"--sign-key", (dir.path() / "valdora.key").string(), "--mirror", nginx.url()}),
            "");
        copies.push_back(dir.path() / ("v" + std::to_string(copies.size() + 1)));
        fs::copy(site, copies.back(), fs::copy_options::recursive);
    }
    fs::create_directories(mirror);
    std::string error;
    ASSERT_TRUE(nginx.start(error)) << error;
    // The new release's folder, from the base URL the list begins with.
    const std::string list = read_bytes(copies[1] / (kListPath + 1));
    const std::string release =
        list.substr(list.find("/game/") + 1, list.find('\r') - list.find("/game/") - 1);
    // The primary serves version 2, its release's files as `fault` has it.
    const auto serve_primary = [&](const std::optional<Reply>& fault) {
        for (const auto& e : fs::recursive_directory_iterator(copies[1])) {
            if (!e.is_regular_file()) continue;
            const std::string path = fs::relative(e.path(), copies[1]).generic_string();
            const std::string bytes = read_bytes(e.path());
            if (fault && path.rfind(release, 0) == 0) {
                Reply r = *fault;
                if (r.body.empty()) r.body = bytes;
                if (r.body == "altered") r.body = std::string(bytes.size(), 'x');
                server.serve("/" + path, {r});
            } else {
                server.serve("/" + path, {{200, bytes}});
            }
        }
    };
    const std::string primary = server.url("");
    const struct {
        const char* name;
        std::optional<Reply> fault;  // of the primary's release files
        int copy;                    // the mirror's: 2, 1 (behind), 0 (no release folder)
        int setAside;  // the host set aside: 0 the primary (alone), 1 the mirror, -1 any
    } rows[] = {
        {"an error status", Reply{503, "busy"}, 2, 0},
        {"a stall", Reply{200, "", Reply::Mode::Stall}, 2, 0},
        {"a dropped connection", Reply{200, "", Reply::Mode::Drop}, 2, 0},
        {"not the signed bytes", Reply{200, "altered"}, 2, 0},
        {"an html page", Reply{200, "<html><body>blocked</body></html>"}, 2, 0},
        // The test's server answers a range with all of the file.
        {"a 200 to a range", std::nullopt, 2, -1},
        {"a partial mirror", std::nullopt, 0, 1},
        {"a mirror behind", std::nullopt, 1, 1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        clear();
        write_tree(game, {{"big.pak", v1.at("big.pak")}}, kOldTime);
        fs::remove_all(mirror);
        fs::copy(copies[std::max(row.copy, 1) - 1], mirror, fs::copy_options::recursive);
        if (row.copy == 0) fs::remove_all(mirror / release);
        serve_primary(row.fault);
        run();
        EXPECT_EQ(
            std::count_if(report.values.begin(), report.values.end(),
                          [](const Reported& r) { return std::holds_alternative<Failed>(r); }),
            0)
            << ::testing::PrintToString(report.values);
        EXPECT_EQ(differences(game, v2), Log{});
        const Log lines = log();
        const auto named = [&](const std::string& host) {
            return std::count_if(lines.begin(), lines.end(), [&](const std::string& l) {
                return l.find(host + " (") != l.npos;
            });
        };
        EXPECT_TRUE(row.setAside < 0 || named(row.setAside ? nginx.url() : primary) == 1);
        EXPECT_TRUE(row.setAside != 0 || named(nginx.url()) == 0);
    }

    // A mirror list that is not the signed one is refused; the kept one stays.
    server.serve("/Patcher/mirrors.txt", {{200, "http://127.0.0.1:1\n"}});
    run();
    const Log lines = log();
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const std::string& l) {
                                return l.ends_with("Patcher/mirrors.txt: not the signed bytes");
                            }),
              1);

    // The primary gone: the list, the release and the files come from the
    // mirror the kept release names; a mirror behind it is refused.
    const std::string gone = "http://127.0.0.1:" + std::to_string(free_port()) + kListPath;
    for (const int copy : {2, 1}) {
        SCOPED_TRACE("the primary gone, the mirror at version " + std::to_string(copy));
        fs::remove_all(game / "d");
        fs::remove_all(mirror);
        fs::copy(copies[copy - 1], mirror, fs::copy_options::recursive);
        run(gone);
        EXPECT_EQ(differences(game, v2).empty(), copy == 2);
        EXPECT_EQ(report.values.back() == Reported(Failed{FailureKind::UpdateList}), copy == 1);
    }

    // A primary whose manifest stalls is asked once, not again for fresh
    // copies (another stall) before the mirror.
    const std::string manifest = std::string(kListPath) + ".sha256";
    const std::string bytes = read_bytes(copies[1] / (manifest.c_str() + 1));
    server.serve(manifest, {{200, bytes, Reply::Mode::Stall}});
    const int asked = server.requests(manifest);
    fs::remove_all(game / "d");
    fs::remove_all(mirror);
    fs::copy(copies[1], mirror, fs::copy_options::recursive);
    run();
    EXPECT_EQ(differences(game, v2), Log{});
    EXPECT_EQ(server.requests(manifest) - asked, 1);
}

}  // namespace
