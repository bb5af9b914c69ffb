// valdora-patch as a user runs it: a real process in a game directory.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "patch/file_checks.h"
#include "platform/file.h"
#include "support/files.h"
#include "support/http_server.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;
using testsupport::Reply;

namespace {

struct Result {
    int status;
    std::string output;
};

// Runs the tool in the current directory with `tz` as the time zone.
Result run_tool(std::vector<std::string> args, const char* tz = "UTC") {
    const fs::path out =
        fs::temp_directory_path() / ("valdora-patch-out-" + std::to_string(::getpid()));
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(fd, 1);
        ::setenv("TZ", tz, 1);
        std::string exe = VALDORA_PATCH_EXE;
        std::vector<char*> argv{exe.data()};
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        ::execv(VALDORA_PATCH_EXE, argv.data());
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    Result r{WIFEXITED(status) ? WEXITSTATUS(status) : -1, testsupport::read_bytes(out)};
    fs::remove(out);
    return r;
}

class ValdoraPatch : public ::testing::Test {
public:
    testsupport::TempDir dir;
    testsupport::HttpServer server;
    std::vector<std::string> args{"--update-list", server.url("/list.txt"), "--server-list",
                                  server.url("/servers")};

    ValdoraPatch() { server.serve("/servers", "Valdora 1|x|y|10.0.0.1|7000\r\n"); }

    // Serves the files and their list (all stamped `time`).
    void publish(const std::vector<std::pair<std::string, std::string>>& files,
                 const std::string& time = "05.03.2024 07:08:09") {
        std::string list = server.url("/site") + "\r\nnote\r\n";
        for (const auto& [path, content] : files) {
            list += path + "\r\n" + std::to_string(content.size()) + "\r\n" + time + "\r\n";
            std::string served = path;
            std::replace(served.begin(), served.end(), '/', '\\');
            server.serve("/site/" + served, content);
        }
        server.serve("/list.txt", list);
    }
};

TEST_F(ValdoraPatch, BringsADirectoryUpToDateAndASecondRunDownloadsNothing) {
    const std::vector<std::pair<std::string, std::string>> files = {
        {"valdora.exe", std::string(70000, 'v')},
        {"data/maps/harita 1.map", std::string(200000, 'm')},
        {"data\\sound\\s\xFCr.ogg", "ses"},
        {"base/empty.dat", ""},
    };
    publish(files);
    testsupport::write_bytes("valdora.exe", "an old build");

    const Result first = run_tool(args, "America/New_York");
    EXPECT_EQ(first.status, 0) << first.output;
    for (const auto& [path, content] : files) {
        EXPECT_EQ(testsupport::read_bytes(platform::native_path(path)), content) << path;
        std::string time;
        GetLastWriteTime(platform::File::open_for_attributes(path), time);
        EXPECT_EQ(time, "05.03.2024 07:08:09") << path;
    }
    EXPECT_NE(first.output.find("G\u00FCncelleme tamamland\u0131 !\n"), std::string::npos);
    EXPECT_NE(first.output.find("Dosya: 4 / 4"), std::string::npos);
    EXPECT_NE(first.output.find("Oyun ba\u015Flamaya haz\u0131r.\n  Valdora 1\n"),
              std::string::npos);
    EXPECT_FALSE(fs::exists("~temp.dat"));
    const int downloads = server.requests_under("/site/");
    EXPECT_EQ(downloads, 4);

    const Result second = run_tool(args, "Pacific/Chatham");
    EXPECT_EQ(second.status, 0) << second.output;
    EXPECT_EQ(server.requests_under("/site/"), downloads);
    EXPECT_EQ(second.output,
              "B\u00FCt\u00FCn dosyalar g\u00FCncel durumda.\nSunucu listesi bekleniyor...\n"
              "Oyun ba\u015Flamaya haz\u0131r.\n  Valdora 1\n");
}

TEST_F(ValdoraPatch, ExitStatusTellsHowTheRunEnded) {
    const struct {
        const char* name;
        std::function<void(ValdoraPatch&)> setUp;
        std::vector<std::string> switches;
        int status;
        const char* shown;  // a line of the output
    } cases[] = {
        {"ready",
         [](ValdoraPatch& t) {
             t.publish({{"a.pak", "a"}});
         },
         {},
         0,
         "Dosya: 1 / 1"},
        {"faulty list",
         [](ValdoraPatch& t) {
             t.server.serve("/list.txt", {Reply{404, "x"}});
         },
         {},
         1,
         "G\u00FCncelleme tamamlanamad\u0131 ! L\u00FCtfen daha sonra tekrar deneyiniz. (2, 0)"},
        {"temporary file",
         [](ValdoraPatch& t) {
             t.publish({{"a.pak", "a"}});
             fs::create_directory("~temp.dat");
         },
         {},
         1,
         "[Error] Could not create ~temp.dat !"},
        {"too much",
         [](ValdoraPatch& t) {
             t.publish({{"a.pak", "a"}, {"b.pak", std::string(71 << 20, 'b')}});
         },
         {},
         2,
         "[Bilgi] G\u00FCncellenecek \u00E7ok fazla dosya var."},
        {"hand-over",
         [](ValdoraPatch& t) {
             t.publish({{"_launcher.dll", "new"}, {"a.pak", "a"}});
         },
         {},
         3,
         "launch_helper.exe"},
        {"test launcher",
         [](ValdoraPatch& t) {
             t.publish({{"_launcher.dll", "new"}});
         },
         {"-test_launcher"},
         0,
         "B\u00FCt\u00FCn dosyalar g\u00FCncel durumda."},
        {"failed transfer",
         [](ValdoraPatch& t) {
             t.publish({{"a.pak", "a"}, {"b.pak", "b"}});
             t.server.serve("/site/b.pak", {Reply{500, "error page"}});
         },
         {},
         4,
         "(3, 22)"},
        {"skip patch",
         [](ValdoraPatch& t) {
             t.publish({{"a.pak", "a"}});
         },
         {"/QMTR284"},
         0,
         "B\u00FCt\u00FCn dosyalar g\u00FCncel durumda."},
        {"server test",
         [](ValdoraPatch& t) {
             t.publish({{"a.pak", "a"}});
             testsupport::write_bytes("serverlist.txt", "Yerel|1|2|3|4\r\n");
         },
         {"-servertest"},
         0,
         "  Yerel"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (const auto& entry : fs::directory_iterator(".")) fs::remove_all(entry.path());
        c.setUp(*this);
        std::vector<std::string> all = args;
        all.insert(all.end(), c.switches.begin(), c.switches.end());
        const Result r = run_tool(all);
        EXPECT_EQ(r.status, c.status) << r.output;
        EXPECT_NE(r.output.find(c.shown), std::string::npos) << r.output;
        EXPECT_FALSE(fs::is_regular_file("~temp.dat"));
    }
    EXPECT_EQ(run_tool({"--update-list"}).status, 64);
}

}  // namespace
