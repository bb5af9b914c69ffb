// valdora-patch as a user runs it: a process of its own in a game directory.
#include "support/engine_run.h"
#include "support/process.h"

namespace fs = std::filesystem;
using namespace testsupport;

namespace {

class ValdoraPatch : public EngineRun {
protected:
    // Runs the tool in the game directory with `tz` as the time zone.
    Result patch(std::vector<std::string> args, const char* tz = "UTC") {
        args.insert(args.begin(), {VALDORA_PATCH_EXE, "--update-list", server.url(kListPath),
                                   "--server-list", server.url(kServers)});
        return testsupport::run(args, game, {{"TZ", tz}});
    }
};

TEST_F(ValdoraPatch, BringsADirectoryUpToDateAndASecondRunDownloadsNothing) {
    const Files files = {
        {"valdora.exe", std::string(150000, 'v')},
        {"data/maps/harita 1.map", std::string(200000, 'm')},
        {"data\\sound\\s\xFCr.ogg", "ses"},
        {"base/empty.dat", ""},
    };
    // valdora.exe slow enough to be reported while it comes (after the run's
    // first second).
    serve(files, {{"valdora.exe", {{200, files.at("valdora.exe"), Reply::Mode::Trickle}}},
                  {"data\\sound\\s\xFCr.ogg", {{200, "ses", Reply::Mode::Gzip}}}});
    write_bytes(game / "valdora.exe", "an old build");

    const auto [status, output] = patch({}, "America/New_York");
    EXPECT_EQ(status, 0) << output;
    EXPECT_EQ(differences(game, {{"valdora.exe", files.at("valdora.exe")},
                                 {"data/maps/harita 1.map", files.at("data/maps/harita 1.map")},
                                 {"data/sound/s\u00FCr.ogg", "ses"},
                                 {"base/empty.dat", ""}}),
              Log{});
    for (const char* line :
         {"G\u00FCncelleniyor: valdora.exe  Dosya: 3 / 4  H\u0131z: ", "Dosya: 4 / 4",
          "G\u00FCncelleme tamamland\u0131 !\n", "Oyun ba\u015Flamaya haz\u0131r.\n  V1\n  V2\n"}) {
        EXPECT_NE(output.find(line), std::string::npos) << line << "\n" << output;
    }
    EXPECT_EQ(server.requests("/files/"), 4);

    // Compared to the hour in UTC, whatever the zone.
    const Result second = patch({}, "Pacific/Chatham");
    EXPECT_EQ(second.status, 0);
    EXPECT_EQ(second.output,
              "B\u00FCt\u00FCn dosyalar g\u00FCncel durumda.\nSunucu listesi bekleniyor...\n"
              "Oyun ba\u015Flamaya haz\u0131r.\n  V1\n  V2\n");
    EXPECT_EQ(server.requests("/files/"), 4);
}

TEST_F(ValdoraPatch, ExitStatusTellsHowTheRunEnded) {
    const struct {
        int status;
        const char* shown;
        Files files;
        std::vector<std::string> switches = {};
        Replies replies = {};
        std::map<std::string, std::uint32_t> listed = {};
    } cases[] = {
        {1,
         "G\u00FCncelleme tamamlanamad\u0131 ! L\u00FCtfen daha sonra tekrar deneyiniz. (2, 0)",
         {}},
        {2,
         "[Bilgi] G\u00FCncellenecek \u00E7ok fazla dosya var.\n",
         {{"a.pak", "a"}, {"b.pak", ""}},
         {},
         {},
         {{"b.pak", 71 << 20}}},
        {3, "launch_helper.exe\n", {{"_launcher.dll", "a"}, {"b.pak", "a"}}},
        {0, "B\u00FCt\u00FCn dosyalar", {{"_launcher.dll", "a"}}, {"-test_launcher"}},
        {4,
         "(3, 22)\n  The requested URL returned error: 500\n",
         {{"a.pak", "a"}, {"b.pak", "a"}},
         {},
         {{"b.pak", {{500, "error"}}}}},
        {0, "B\u00FCt\u00FCn dosyalar", {{"a.pak", "a"}}, {"/QMTR284"}},
    };
    for (const auto& c : cases) {
        clear();
        serve(c.files, c.replies, c.listed);
        if (c.files.empty()) server.serve(kListPath, {{404, "x"}});
        const auto [status, output] = patch(c.switches);
        EXPECT_EQ(status, c.status) << output;
        EXPECT_NE(output.find(c.shown), std::string::npos) << output;
    }
    EXPECT_EQ(patch({"--update-list"}).status, 64);
}

}  // namespace
