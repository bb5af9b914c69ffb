// valdora-publish: the list it writes, the site it lays out, and what it
// refuses without touching the site.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>
#include <sstream>

#include "support/files.h"
#include "support/temp_dir.h"
#include "tools/valdora-publish/publisher.h"

namespace fs = std::filesystem;
using testsupport::read_bytes;
using testsupport::write_bytes;

namespace {

using testsupport::kTime;  // 05.03.2024 07:08:09 UTC

void write_file(const fs::path& path, const std::string& bytes, std::int64_t unixTime = kTime) {
    testsupport::write_tree(path.parent_path(), {{path.filename(), bytes}}, unixTime);
}

// Every file and folder below `root` with its bytes ("/" for folders).
std::map<std::string, std::string> tree(const fs::path& root) {
    std::map<std::string, std::string> out;
    for (const auto& e : fs::recursive_directory_iterator(root)) {
        const std::string key = e.path().lexically_relative(root).string();
        out[key] = e.is_directory() ? "/" : read_bytes(e.path());
    }
    return out;
}

struct Outcome {
    publish::Status status;
    std::string report;
    std::string errors;
};

class Publisher : public ::testing::Test {
public:
    testsupport::TempDir dir;
    publish::Options options;

    Publisher() {
        options.gameBuildDir = dir.path() / "build";
        options.siteDir = dir.path() / "site";
        options.baseUrl = "http://patch.example.com/game";
        options.note = "v1";
        options.noteGiven = true;
        write_file(options.gameBuildDir / "valdora.pak", std::string(1000, 'p'));
        write_file(options.gameBuildDir / "maps" / "Kara Orman.map", "map");
        write_file(options.gameBuildDir / "ses" / "m\u00FCzik" / "a\u00E7\u0131l\u0131\u015F.ogg",
                   "ogg", kTime + 3600);
    }

    Outcome publish() {
        std::ostringstream report, errors;
        const publish::Status status = publish::Publish(options, report, errors);
        return {status, report.str(), errors.str()};
    }
};

TEST_F(Publisher, LaysOutTheSiteUnderTheListsBytesWithTheFilesTimes) {
    write_file(dir.path() / "new-launcher", "ELF launcher 2", kTime + 7200);
    options.launcher = dir.path() / "new-launcher";
    options.pageTemplates = dir.path() / "pages";
    write_bytes(options.pageTemplates / "serverlist_test.aspx", "Kuzey|a|b|10.0.0.1|7000\r\n");
    for (int i = 1; i <= 3; ++i) {
        write_bytes(options.pageTemplates / ("LauncherPromo" + std::to_string(i) + ".aspx"),
                    "<p>{{note}} {{files}} {{size}} {{other}}</p>");
    }
    options.note = "S\u00FCr\u00FCm <2>";

    const Outcome run = publish();
    ASSERT_EQ(run.status, publish::kPublished) << run.errors;
    const fs::path site = options.siteDir;
    EXPECT_EQ(read_bytes(site / "Patcher" / "1000_1.0.0.1_Update.txt"),
              "http://patch.example.com/game\r\nS\xFCr\xFCm <2>\r\n"
              "_launcher.dll\r\n14\r\n05.03.2024 09:08:09\r\n"
              "maps\\Kara Orman.map\r\n3\r\n05.03.2024 07:08:09\r\n"
              "ses\\m\xFCzik\\a\xE7\xFDl\xFD\xFE.ogg\r\n3\r\n05.03.2024 08:08:09\r\n"
              "valdora.pak\r\n1000\r\n05.03.2024 07:08:09\r\n");
    const fs::path turkish = site / "game" / "ses" / "m\xFCzik" / "a\xE7\xFDl\xFD\xFE.ogg";
    EXPECT_EQ(read_bytes(turkish), "ogg");
    EXPECT_EQ(read_bytes(site / "game" / "_launcher.dll"), "ELF launcher 2");
    EXPECT_EQ(read_bytes(site / "game" / "maps" / "Kara Orman.map"), "map");
    EXPECT_EQ(testsupport::write_time(turkish), kTime + 3600);
    EXPECT_EQ(fs::status(turkish).permissions(), fs::perms(0644));
    EXPECT_EQ(read_bytes(site / "LauncherPromo2.aspx"),
              "<p>S\u00FCr\u00FCm &lt;2&gt; 4 0.0 MiB {{other}}</p>");
    EXPECT_EQ(read_bytes(site / "serverlist_test.aspx"), "Kuzey|a|b|10.0.0.1|7000\r\n");

    EXPECT_NE(run.report.find("Published 4 files"), std::string::npos) << run.report;
}

TEST_F(Publisher, ANewPublicationReplacesTheOldOneWhole) {
    ASSERT_EQ(publish().status, publish::kPublished);
    fs::remove_all(options.gameBuildDir / "ses");
    write_file(options.gameBuildDir / "valdora.pak", "v2");
    options.note = "v2";
    write_bytes(options.siteDir / "index.html", "the operator's own page");

    ASSERT_EQ(publish().status, publish::kPublished);
    EXPECT_EQ(tree(options.siteDir), (std::map<std::string, std::string>{
                                         {"Patcher", "/"},
                                         {"Patcher/1000_1.0.0.1_Update.txt",
                                          "http://patch.example.com/game\r\nv2\r\n"
                                          "maps\\Kara Orman.map\r\n3\r\n05.03.2024 07:08:09\r\n"
                                          "valdora.pak\r\n2\r\n05.03.2024 07:08:09\r\n"},
                                         {"game", "/"},
                                         {"game/maps", "/"},
                                         {"game/maps/Kara Orman.map", "map"},
                                         {"game/valdora.pak", "v2"},
                                         {"index.html", "the operator's own page"},
                                     }));
}

TEST_F(Publisher, FilesAtTheSitesRootBesideTheList) {
    options.baseUrl = "http://127.0.0.1:8787/";
    ASSERT_EQ(publish().status, publish::kPublished);
    EXPECT_EQ(read_bytes(options.siteDir / "valdora.pak"), std::string(1000, 'p'));
    EXPECT_EQ(read_bytes(options.siteDir / "Patcher" / "1000_1.0.0.1_Update.txt").substr(0, 23),
              "http://127.0.0.1:8787\r\n");
}

// Each case spoils a good publication in one way: the tool says why, exits
// 1, and the site from before is left exactly as it was.
TEST_F(Publisher, RefusesWhatTheLauncherCannotUseAndWritesNothing) {
    ASSERT_EQ(publish().status, publish::kPublished);
    const std::map<std::string, std::string> before = tree(options.siteDir);
    const publish::Options good = options;
    const fs::path build = options.gameBuildDir;
    const auto pages = [&](publish::Options& o, const std::string& serverList) {
        o.pageTemplates = dir.path() / "pages";
        write_bytes(o.pageTemplates / "serverlist_test.aspx", serverList);
        for (const char* p :
             {"LauncherPromo1.aspx", "LauncherPromo2.aspx", "LauncherPromo3.aspx"}) {
            write_bytes(o.pageTemplates / p, "<p></p>");
        }
    };

    const struct {
        const char* name;
        std::function<void(publish::Options&)> spoil;
        const char* message;
    } cases[] = {
        {"not code page 1254", [&](auto&) { write_file(build / "\u65E5\u672C.pak", "x"); },
         "\u65E5\u672C.pak: the name holds a character that code page 1254 cannot"},
        {"backslash", [&](auto&) { write_file(build / "a\\b.pak", "x"); },
         "a\\b.pak: the name holds a backslash"},
        {"drive letter", [&](auto&) { write_file(build / "c:x.pak", "x"); },
         "c:x.pak: the launcher refuses this path"},
        {"2 GiB",
         [&](auto&) {
             write_file(build / "big.pak", "");
             fs::resize_file(build / "big.pak", 2147483648u);
         },
         "big.pak: 2 GiB or more"},
        {"too deep",
         [&](auto&) {
             fs::path deep = build;
             for (int i = 0; i < 65; ++i) deep /= "d";
             write_file(deep / "f", "x");
         },
         "more than 64 folders deep"},
        {"launcher.exe", [&](auto&) { write_file(build / "Launcher.exe", "x"); }, "--launcher"},
        {"settings", [&](auto&) { write_file(build / "base" / "pref_launch.prefs", "x"); },
         "graphics settings"},
        {"link to a folder",
         [&](auto&) {
             write_file(build / "maps" / "a.map", "x");
             fs::create_directory_symlink(build / "maps", build / "l");
         },
         "l: not a regular file"},
        {"two launchers",
         [&](auto& o) {
             write_file(build / "_launcher.dll", "x");
             o.launcher = build / "valdora.pak";
         },
         "_launcher.dll: the game build has one and --launcher gives another"},
        {"empty note", [](auto& o) { o.note = ""; }, "--note: empty"},
        {"base URL", [](auto& o) { o.baseUrl = "http://h/a b"; },
         "--base-url http://h/a b: may hold"},
        {"base URL scheme", [](auto& o) { o.baseUrl = "ftp://h/x"; }, "http:// or https://"},
        {"list in the files' place",
         [&](auto& o) {
             o.baseUrl = "http://h";
             write_file(build / "Patcher" / "1000_1.0.0.1_Update.txt", "x");
         },
         "would take the place of Patcher/1000_1.0.0.1_Update.txt"},
        {"site inside the build", [&](auto& o) { o.siteDir = build / "site"; },
         "inside each other"},
        {"server list line", [&](auto& o) { pages(o, "Kuzey|a|b|10.0.0.1\n"); },
         "serverlist_test.aspx: line 1: 4 fields; the launcher needs exactly 5"},
        {"no server", [&](auto& o) { pages(o, "\r\n"); }, "no server"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(build);
        fs::remove_all(dir.path() / "pages");
        options = good;
        write_file(build / "valdora.pak", "v2");
        c.spoil(options);

        const Outcome run = publish();
        EXPECT_EQ(run.status, publish::kRefused);
        EXPECT_NE(run.errors.find(c.message), std::string::npos) << run.errors;
        EXPECT_EQ(tree(good.siteDir), before);
    }
}

}  // namespace
