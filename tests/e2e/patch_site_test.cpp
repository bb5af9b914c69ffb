// valdora-patch as a player's machine runs it against a signed site that
// valdora-publish made and nginx serves: a fresh install, an update, a
// download cut off by a killed run and resumed by the next, and a file
// damaged in place that only --verify finds. With VALDORA_WINDOWS_PROGRAMS
// the Windows build runs, under Wine.
#include <gtest/gtest.h>

#include "support/programs.h"
#include "support/site.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;
using namespace testsupport;
using Paths = std::vector<std::string>;

namespace {

// Besides the game, the signed release the engine keeps for launch_helper.exe.
const Files release = {{"base/1000_1.0.0.1_Update.txt", ""},
                       {"base/1000_1.0.0.1_Update.txt.sha256", ""},
                       {"base/1000_1.0.0.1_Update.txt.sha256.minisig", ""}};

std::vector<std::string> strays(const fs::path& game, Files files, const Files& kept) {
    files.insert(kept.begin(), kept.end());
    return testsupport::strays(game, files);
}

TEST(PatchSite, InstallsUpdatesResumesAndVerifiesASignedSite) {
    TempDir dir;
    const fs::path d = dir.path(), build = d / "build", site = d / "site", game = d / "game";
    ASSERT_EQ(run({VALDORA_PUBLISH_EXE, "keygen", (d / "keys").string()}, d).status, 0);
    const std::string key = (d / "keys" / "valdora.pub").string();
    Nginx nginx(site, d / "nginx", free_port());
    const auto publish_version = [&](const Files& files) {
        fs::remove_all(build);
        write_tree(build, files);
        ASSERT_EQ(publish(build, site, nginx.url("/game"),
                          {"--sign-key", (d / "keys" / "valdora.key").string()}),
                  "");
    };
    const auto patch = [&](const std::vector<std::string>& extra = {}) {
        return with(
            with(patch_program(), {"--update-list", nginx.url(kListPath), "--server-list",
                                   nginx.url("/serverlist_test.aspx"), "--trusted-key", key}),
            extra);
    };
    const auto serve = [&](const std::string& rate) {
        nginx.stop();
        nginx.set_rate(rate);
        std::string error;
        ASSERT_TRUE(nginx.start(error)) << error;
    };
    fs::create_directories(game);

    // A fresh install, Turkish names included.
    Files files = {{"a.pak", pattern(300000, 1)},
                   {"maps/Kara Orman.map", pattern(70000, 2)},
                   {"ses/m\xC3\xBCzik/a\xC3\xA7\xC4\xB1l\xC4\xB1\xC5\x9F.ogg", pattern(5000, 3)}};
    publish_version(files);
    serve("0");
    Result r = run(patch(), game);
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(differences(game, files), Paths{});

    // An update: one file changes (its size, as a new build's file would
    // its time), one comes, one stays.
    files["a.pak"] = pattern(300001, 4);
    files["yeni.pak"] = pattern(1000, 5);
    publish_version(files);
    r = run(patch(), game);
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(differences(game, files), Paths{});
    EXPECT_EQ(strays(game, files, release), Paths{});

    // A large file, its download cut off by a killed run; the next run asks
    // for the rest.
    files["big.pak"] = pattern(3 << 20, 6);
    publish_version(files);
    serve("1m");
    {
        Child cut(patch(), game);
        ASSERT_TRUE(wait_until([&] {
            std::error_code ec;
            return fs::file_size(game / "~temp.dat", ec) > (256 << 10) && !ec;
        }));
        cut.kill();
        EXPECT_EQ(cut.wait_for(20s), kKilled);
    }
    EXPECT_TRUE(fs::exists(game / "~temp.dat.resume"));
    serve("0");
    r = run(patch(), game);
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(differences(game, files), Paths{});
    EXPECT_EQ(strays(game, files, release), Paths{});
    // The rest was asked for, and came.
    EXPECT_NE(read_bytes(d / "nginx" / "logs" / "access.log").find("big.pak HTTP/1.1\" 206"),
              std::string::npos);

    // A file damaged in place with its size and time kept looks current to
    // a plain run; --verify finds and mends it.
    write_tree(game, {{"maps/Kara Orman.map", pattern(70000, 7)}});
    r = run(patch(), game);
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(differences(game, files), Paths{"maps/Kara Orman.map"});
    r = run(patch({"--verify"}), game);
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(differences(game, files), Paths{});
}

}  // namespace
