// Packs through the real engine: a site signed by valdora-publish, its small
// files also in packs, served by the test's server (a Range answered as a
// static server does, or not at all). Whatever the row, the game ends as
// published: the due small files come as ranges of their pack (a changed
// file its own bytes alone) when the pack can be had and holds their signed
// bytes, else each from its own URL.
#include <set>

#include "support/engine_run.h"
#include "support/signing.h"
#include "support/site.h"

namespace fs = std::filesystem;
using namespace testsupport;

namespace {

TEST_F(EngineRun, SmallFilesComeAsRangesOfTheirPackOrFromTheirOwnUrls) {
    TrustKey(NewKey());
    options.maxTransfers = 8;
    // The same server under another name: a second host, so that a range
    // every host fails moves on once and then gives up.
    options.moreHosts = {"http://localhost" + server.url("").substr(16)};
    Files v1 = {{"big.pak", pattern(100000, 1)}};  // too big for a pack
    for (unsigned i = 0; i < 40; ++i) {
        v1["d" + std::to_string(i % 4) + "/f" + std::to_string(i)] = pattern(3000 + 7 * i, i);
    }
    Files v2 = v1;
    v2["d1/f5"] = pattern(3036, 77);  // far apart in the pack
    v2["d3/f7"] = pattern(3050, 78);
    std::vector<std::map<std::string, std::string>> sites;
    for (const Files* files : {&v1, &v2}) {
        fs::remove_all(dir.path() / "build");
        write_tree(dir.path() / "build", *files);
        ASSERT_EQ(
            publish(dir.path() / "build", dir.path() / "site", server.url("/game"), SignKey()), "");
        auto& site = sites.emplace_back();
        for (const auto& e : fs::recursive_directory_iterator(dir.path() / "site"))
            if (e.is_regular_file())
                site["/" + fs::relative(e.path(), dir.path() / "site").generic_string()] =
                    read_bytes(e.path());
    }
    const std::string list = sites[1].at(kListPath);
    const std::string packs =
        list.substr(list.find("/game/"), list.find('\r') - list.find("/game/")) + "/.packs/";
    std::string pack;
    for (const auto& [path, bytes] : sites[1]) {
        if (path.ends_with(".pack") && path.starts_with(packs)) pack = path;
    }
    const struct {
        const char* name;
        bool installed;  // version 1 there: only d1/f5 and d3/f7 are due
        Reply::Mode mode;
        int pack;   // the pack: 0 as published, 1 missing, 2 other bytes
        int own;    // the files asked for at their own URLs
        int packs;  // the requests for the index and ranges of the pack (on each host)
    } rows[] = {
        {"a fresh install", false, Reply::Mode::Ranged, 0, 1, 2},  // the big file, all the pack
        {"two small files changed", true, Reply::Mode::Ranged, 0, 0, 3},
        {"a missing pack", false, Reply::Mode::Ranged, 1, 41, 3},
        {"a pack that is not the signed one", false, Reply::Mode::Ranged, 2, 41, 2},
        // The changed files' ranges answered with all of the pack.
        {"a server without Range", true, Reply::Mode::Plain, 0, 2, 5},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        clear();
        if (row.installed) write_tree(game, v1);
        for (auto [path, bytes] : sites[1]) {
            const bool packed = path == pack;
            if (packed && row.pack == 2) std::reverse(bytes.begin(), bytes.end());
            server.serve(path, {{packed && row.pack == 1 ? 404 : 200, bytes, row.mode}});
        }
        const int before = server.requests(packs), own = server.requests("/game/r-");
        run();
        EXPECT_EQ(
            std::count_if(report.values.begin(), report.values.end(),
                          [](const Reported& r) { return std::holds_alternative<Failed>(r); }),
            0);
        EXPECT_EQ(differences(game, v2), Log{});
        const int fromPacks = server.requests(packs) - before;
        const int fromOwn = server.requests("/game/r-") - own - fromPacks;
        EXPECT_EQ(fromOwn, row.own);
        EXPECT_EQ(fromPacks, row.packs);
        if (row.installed && row.mode == Reply::Mode::Ranged) {  // the changed files' bytes alone
            std::vector<std::size_t> sizes;
            for (const std::string& range : server.ranges(pack)) {
                const std::size_t dash = range.find('-');
                sizes.push_back(std::stoul(range.substr(dash + 1)) -
                                std::stoul(range.substr(6, dash - 6)) + 1);
            }
            ASSERT_GE(sizes.size(), 2u) << ::testing::PrintToString(server.ranges(pack));
            EXPECT_EQ(std::multiset<std::size_t>(sizes.end() - 2, sizes.end()),
                      (std::multiset<std::size_t>{3036, 3050}));
        }
    }

    // A partial mirror, its packs not copied: the pack, which the primary
    // is too busy to give once, is asked of it in vain, and the files come
    // from their own URLs all the same.
    HttpServer mirror;
    for (const auto& [path, bytes] : sites[1]) {
        if (!path.starts_with(packs)) mirror.serve(path, {{200, bytes, Reply::Mode::Ranged}});
        server.serve(path, {{path == pack ? 503 : 200, bytes, Reply::Mode::Ranged},
                            {200, bytes, Reply::Mode::Ranged}});
    }
    options.moreHosts = {mirror.url("")};
    clear();
    run();
    EXPECT_EQ(differences(game, v2), Log{});
    EXPECT_EQ(mirror.requests(packs), 1);

    // A small file no host gives, its pack gone too: one failure, named.
    const std::string lost = packs.substr(0, packs.size() - 7) + "d1/f5";
    for (HttpServer* host : {&server, &mirror}) host->serve(lost, {{404, ""}});
    server.serve(pack, {{404, ""}});
    clear();
    run();
    const auto failed = [](const Reported& r) { return std::holds_alternative<Failed>(r); };
    EXPECT_EQ(std::count_if(report.values.begin(), report.values.end(), failed), 1)
        << ::testing::PrintToString(report.values);
}

}  // namespace
