// valdora-patch as a user runs it: a process of its own in a game directory.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "patch/file_checks.h"
#include "support/files.h"
#include "support/http_server.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;
using testsupport::Reply;

namespace {

class ValdoraPatch : public ::testing::Test {
public:
    testsupport::TempDir dir;
    testsupport::HttpServer server;

    ValdoraPatch() { server.serve("/servers", "Valdora 1|x|y|10.0.0.1|7000\r\n"); }

    // Serves the files, all stamped 05.03.2024 07:08:09, and their list.
    void publish(const std::vector<std::pair<std::string, Reply>>& files) {
        std::string list = server.url("/site") + "\r\nnote\r\n";
        for (const auto& [path, reply] : files) {
            list +=
                path + "\r\n" + std::to_string(reply.body.size()) + "\r\n05.03.2024 07:08:09\r\n";
            std::string served = path;
            std::replace(served.begin(), served.end(), '/', '\\');
            server.serve("/site/" + served, {reply});
        }
        server.serve("/list.txt", list);
    }

    // Runs the tool here with `tz` as the time zone; exit status and output.
    std::pair<int, std::string> run(std::vector<std::string> args, const char* tz = "UTC") {
        const fs::path out = dir.path().string() + ".out";
        args.insert(args.begin(), {"--update-list", server.url("/list.txt"), "--server-list",
                                   server.url("/servers")});
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::dup2(::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), 1);
            ::setenv("TZ", tz, 1);
            std::string exe = VALDORA_PATCH_EXE;
            std::vector<char*> argv{exe.data()};
            for (std::string& a : args) argv.push_back(a.data());
            argv.push_back(nullptr);
            ::execv(exe.c_str(), argv.data());
            ::_exit(127);
        }
        int status = 0;
        ::waitpid(pid, &status, 0);
        const std::string output = testsupport::read_bytes(out);
        fs::remove(out);
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
    }
};

TEST_F(ValdoraPatch, BringsADirectoryUpToDateAndASecondRunDownloadsNothing) {
    const std::vector<std::pair<std::string, Reply>> files = {
        // Slow enough to be reported while it comes (after the run's first second).
        {"valdora.exe", {200, std::string(150000, 'v'), Reply::Mode::Trickle}},
        {"data/maps/harita 1.map", {200, std::string(200000, 'm')}},
        {"data\\sound\\s\xFCr.ogg", {200, "ses", Reply::Mode::Gzip}},
        {"base/empty.dat", {200, ""}},
    };
    publish(files);
    testsupport::write_bytes("valdora.exe", "an old build");

    const auto [status, output] = run({}, "America/New_York");
    EXPECT_EQ(status, 0) << output;
    for (const auto& [path, reply] : files) {
        std::string time;
        GetLastWriteTime(platform::File::open_for_attributes(path), time);
        EXPECT_EQ(time + testsupport::read_bytes(platform::native_path(path)),
                  "05.03.2024 07:08:09" + reply.body);
    }
    for (const char* line : {"G\u00FCncelleniyor: valdora.exe  Dosya: 0 / 4", "Dosya: 4 / 4",
                             "G\u00FCncelleme tamamland\u0131 !\n",
                             "Oyun ba\u015Flamaya haz\u0131r.\n  Valdora 1\n"}) {
        EXPECT_NE(output.find(line), std::string::npos) << line << "\n" << output;
    }
    EXPECT_FALSE(fs::exists("~temp.dat"));
    EXPECT_EQ(server.requests("/site/"), 4);

    // Compared to the hour in UTC, whatever the zone.
    EXPECT_EQ(run({}, "Pacific/Chatham"),
              std::make_pair(0, std::string("B\u00FCt\u00FCn dosyalar g\u00FCncel durumda.\n"
                                            "Sunucu listesi bekleniyor...\n"
                                            "Oyun ba\u015Flamaya haz\u0131r.\n  Valdora 1\n")));
    EXPECT_EQ(server.requests("/site/"), 4);
}

TEST_F(ValdoraPatch, ExitStatusTellsHowTheRunEnded) {
    const Reply a{200, "a"};
    const struct {
        std::vector<std::pair<std::string, Reply>> files;
        std::vector<std::string> switches;
        int status;
        const char* shown;
    } cases[] = {
        {{},
         {},
         1,
         "G\u00FCncelleme tamamlanamad\u0131 ! L\u00FCtfen daha sonra tekrar deneyiniz. (2, 0)"},
        {{{"a.pak", a}, {"b.pak", {200, std::string(71 << 20, 'b')}}},
         {},
         2,
         "[Bilgi] G\u00FCncellenecek \u00E7ok fazla dosya var.\n"},
        {{{"_launcher.dll", a}, {"b.pak", a}}, {}, 3, "launch_helper.exe\n"},
        {{{"_launcher.dll", a}}, {"-test_launcher"}, 0, "B\u00FCt\u00FCn dosyalar"},
        {{{"a.pak", a}, {"b.pak", {500, "error page"}}}, {}, 4, "(3, 22)\n"},
        {{{"a.pak", a}}, {"/QMTR284"}, 0, "B\u00FCt\u00FCn dosyalar"},
    };
    for (const auto& c : cases) {
        for (const auto& entry : fs::directory_iterator(".")) fs::remove_all(entry.path());
        if (c.files.empty()) server.serve("/list.txt", {{404, "x"}});
        if (!c.files.empty()) publish(c.files);
        const auto [status, output] = run(c.switches);
        EXPECT_EQ(status, c.status) << output;
        EXPECT_NE(output.find(c.shown), std::string::npos) << output;
    }
    EXPECT_EQ(run({"--update-list"}).first, 64);
}

}  // namespace
