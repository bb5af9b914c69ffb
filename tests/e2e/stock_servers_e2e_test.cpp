// A signed site as valdora-publish writes it, served by stock web servers
// with nothing configured but a document root, and behind a stock cache:
// valdora-patch installs it from each, sub-folders and Turkish names
// included, and takes each new release at once, also one published while it
// runs. The shipped nginx configuration also serves launchers of older
// builds, which ask with the list's own bytes.
#include <gtest/gtest.h>
#include <unistd.h>

#include "support/site.h"
#include "support/stock_server.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;
using namespace testsupport;

namespace {

const Files kGame = {
    {"base/valdora.pak", pattern(300 << 10, 1)},
    {"maps/alt/Kara Orman.map", "map"},
    {"ses/m\u00FCzik/a\u00E7\u0131l\u0131\u015F temas\u0131.ogg", pattern(5000, 2)},
    {"\u015Eehir/\u0130\u011Fne \u00C7\u00F6l\u00FC.dat", "dotted capital I"},
    {"data/100% #1.pak", "percent, hash"},
    {"data/a+b;c=d,e'f(g)&[h]!~$@.dat", "sub-delimiters"},
};

// The list's first line: the base URL of the release's files.
std::string base_url(const fs::path& site) {
    const std::string list = read_bytes(site / "Patcher/1000_1.0.0.1_Update.txt");
    return list.substr(0, list.find('\r'));
}

TEST(StaticServers, EachInstallsASiteWithTurkishNamesAsPublished) {
    TempDir dir;
    const fs::path d = dir.path();
    ASSERT_EQ(run({VALDORA_PUBLISH_EXE, "keygen", d / "keys"}, d).status, 0);
    write_tree(d / "build", kGame);

    for (const std::string name : {"python http.server", "lighttpd", "nginx"}) {
        SCOPED_TRACE(name);
        const fs::path site = d / name / "site";
        StockServer server(name, d / name / "run");
        Nginx nginx(site, d / name / "nginx", server.port());
        ASSERT_EQ(publish(d / "build", site, server.url("/game"),
                          {"--sign-key", d / "keys" / "valdora.key"}),
                  "");
        std::string error;
        const bool started = name == "nginx"      ? nginx.start(error)
                             : name == "lighttpd" ? start_lighttpd(server, site)
                                                  : start_python(server, site);
        ASSERT_TRUE(started) << server.output() << error;

        const fs::path game = d / name / "game";
        fs::create_directories(game);
        const Result r = run({VALDORA_PATCH_EXE, "--update-list", server.url(kListPath),
                              "--server-list", server.url("/serverlist_test.aspx"), "--trusted-key",
                              d / "keys" / "valdora.pub", "--server-wait", "20"},
                             game);
        EXPECT_EQ(r.status, 0) << r.output;
        EXPECT_EQ(differences(game, kGame), std::vector<std::string>{});

        if (name == "nginx") {
            // Started as root, it serves the site as an unprivileged user.
            for (const int uid : nginx.worker_users()) EXPECT_TRUE(uid != 0 || ::geteuid() != 0);
            EXPECT_FALSE(nginx.worker_users().empty());
            // An older launcher: "\" between folders, raw CP1254 letters, a
            // blank as %20.
            const std::string folder = base_url(site).substr(server.url().size());
            for (const auto& [asked, bytes] :
                 {std::pair{"/ses\\m\xFCzik\\a\xE7\xFDl\xFD\xFE%20temas\xFD.ogg",
                            kGame.at("ses/m\u00FCzik/a\u00E7\u0131l\u0131\u015F temas\u0131.ogg")},
                  {"/maps\\alt\\Kara%20Orman.map", kGame.at("maps/alt/Kara Orman.map")}}) {
                EXPECT_EQ(raw_get(server.port(), folder + asked), "HTTP/1.1 200 OK\n" + bytes)
                    << asked;
            }
        }
    }
}

// A site and the keys it is signed with, published by valdora-publish.
struct Publisher {
    fs::path dir;
    std::string baseUrl;

    std::vector<std::string> patch(const std::string& host) const {
        return {VALDORA_PATCH_EXE,
                "--update-list",
                host + kListPath,
                "--server-list",
                host + "/serverlist_test.aspx",
                "--trusted-key",
                dir / "keys" / "valdora.pub",
                "--server-wait",
                "20"};
    }
    void publish(const Files& files) const {
        fs::remove_all(dir / "build");
        write_tree(dir / "build", files);
        ASSERT_EQ(testsupport::publish(dir / "build", dir / "site", baseUrl,
                                       {"--sign-key", dir / "keys" / "valdora.key"}),
                  "");
    }
};

// varnish as Debian sets it up (its built-in rules, a backend and nothing
// else) in front of nginx: a republished site and its changed file are
// taken at once.
TEST(Cache, VarnishPassesEachNewReleaseAtOnce) {
    TempDir dir;
    const fs::path d = dir.path();
    ASSERT_EQ(run({VALDORA_PUBLISH_EXE, "keygen", d / "keys"}, d).status, 0);
    Nginx nginx(d / "site", d / "nginx", free_port());
    StockServer varnish("varnish", d / "varnish");
    const Publisher site{d, varnish.url("/game")};
    const Files v1 = {{"a.pak", pattern(200 << 10, 1)}, {"maps/Kara Orman.map", "map"}};
    Files v2 = v1;
    v2["a.pak"] = pattern((200 << 10) + 1, 2);
    v2["ses/m\u00FCzik/yeni.ogg"] = "new";
    ASSERT_NO_FATAL_FAILURE(site.publish(v1));
    std::string error;
    ASSERT_TRUE(nginx.start(error)) << error;
    ASSERT_TRUE(start_varnish(varnish, nginx.listen(), d / "varnish" / "work")) << varnish.output();

    const fs::path game = d / "game";
    fs::create_directories(game);
    for (const Files* release : std::vector<const Files*>{&v1, &v2}) {
        if (release == &v2) {
            ASSERT_NO_FATAL_FAILURE(site.publish(v2));
        }
        const Result r = run(site.patch(varnish.url()), game);
        EXPECT_EQ(r.status, 0) << r.output;
        EXPECT_EQ(differences(game, *release), std::vector<std::string>{});
    }
}

// A publication while a player's run downloads: the run ends with one whole
// release, the one it began with, and the next run takes the new one.
TEST(Cache, APublicationDuringARunFailsNoneOfIt) {
    TempDir dir;
    const fs::path d = dir.path();
    ASSERT_EQ(run({VALDORA_PUBLISH_EXE, "keygen", d / "keys"}, d).status, 0);
    // nginx sends a second's worth at once, then keeps to the rate: each
    // file takes about a second.
    Nginx nginx(d / "site", d / "nginx", free_port(), "200k");
    const Publisher site{d, nginx.url("/game")};
    Files v1, v2;
    for (const char* name : {"a.pak", "b.pak", "c/d.pak"}) {
        v1[name] = pattern(400 << 10, v1.size() + 1);
        v2[name] = pattern((400 << 10) + 7, v2.size() + 7);
    }
    ASSERT_NO_FATAL_FAILURE(site.publish(v1));
    std::string error;
    ASSERT_TRUE(nginx.start(error)) << error;

    const fs::path game = d / "game";
    fs::create_directories(game);
    Child player(site.patch(nginx.url()), game, {}, d / "player.out");
    // The next files are asked for after the publication.
    ASSERT_TRUE(wait_until([&] { return fs::exists(game / "a.pak"); }));
    ASSERT_NO_FATAL_FAILURE(site.publish(v2));
    EXPECT_EQ(player.wait_for(60s), 0) << read_bytes(d / "player.out");
    EXPECT_EQ(differences(game, v1), std::vector<std::string>{}) << "not the first release whole";

    const Result r = run(site.patch(nginx.url()), game);
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(differences(game, v2), std::vector<std::string>{});
}

}  // namespace
