#include "log/launcher_log.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <ctime>
#include <filesystem>
#include <functional>
#include <string>

#include "platform/cp1254_literal.h"
#include "support/files.h"
#include "support/process.h"
#include "support/temp_dir.h"

using namespace platform::literals;
namespace fs = std::filesystem;

namespace {

// "MM/DD/YY hh:mm:ss" in local time.
using Stamp = std::string;

std::string header(const Stamp& c) {
    return "-------- Loglama ba\xFElat\xFDld\xFD launcher: " + c + " --------\r\r\n";
}

std::string line(const Stamp& c, const std::string& message) {
    return "--- " + c + ": " + message + "\r\r\n";
}

// "base/launcher_log.txt" after `processes` ran one after another, each a
// process of its own, all within the second of `c`.
std::string run_within_one_second(const std::vector<std::function<void()>>& processes, Stamp& c) {
    for (int attempt = 0;; ++attempt) {
        fs::remove_all("base");
        const std::time_t before = std::time(nullptr);
        for (const auto& p : processes) testsupport::run_in_child(p);
        if (before == std::time(nullptr) || attempt == 5) {
            std::tm local{};
            localtime_r(&before, &local);
            char out[32];
            std::strftime(out, sizeof out, "%m/%d/%y %H:%M:%S", &local);
            c = out;
            return testsupport::read_bytes("base/launcher_log.txt");
        }
    }
}

// The bytes on disk against the expected ones built here from the stamps.
TEST(LauncherLog, BytesOnDisk) {
    const struct {
        const char* name;
        std::vector<std::function<void()>> processes;
        std::function<std::string(const Stamp&)> expected;
    } cases[] = {
        {"each process writes its header once, before its first line",
         {[] {
              WriteLauncherLog("http hatası: %d"_cp1254, 7);
              WriteLauncherLog("%s download ediliyor..."_cp1254, "data\\maps\\x.map");
          },
          [] { WriteLauncherLog("Dosyalar download edildi."_cp1254); }},
         [](const Stamp& c) {
             return header(c) + line(c, "http hatas\xFD: 7") +
                    line(c, "data\\maps\\x.map download ediliyor...") + header(c) +
                    line(c, "Dosyalar download edildi.");
         }},
        {"line feeds become CR LF, a long message is cut at 4095 characters",
         {[] {
             WriteLauncherLog("--------------------------\n");
             WriteLauncherLog("%s", std::string(5000, 'x').c_str());
         }},
         [](const Stamp& c) {
             return header(c) + line(c, std::string(26, '-') + "\r\n") +
                    line(c, std::string(4095, 'x'));
         }},
        // Another holder with an exclusive lock, as a program that opened the
        // file without sharing.
        {"a locked file loses the line and defers the header",
         {[] {
             fs::create_directory("base");
             const int other = ::open("base/launcher_log.txt", O_WRONLY | O_CREAT, 0644);
             ::flock(other, LOCK_EX);
             WriteLauncherLog("lost");
             ::close(other);
             WriteLauncherLog("kept");
         }},
         [](const Stamp& c) { return header(c) + line(c, "kept"); }},
        // launch_helper.exe's lines outlive the deletion of the log by the
        // launcher it starts: they become that launcher's first lines, once.
        {"kept lines become the next launcher's first lines",
         {[] {
              KeepLauncherLogLine("launch_helper: launcher.exe güncellenemedi: %s"_cp1254, "x\ny");
              KeepLauncherLogLine("two");
          },
          [] {
              WriteKeptLauncherLogLines();
              WriteLauncherLog("three");
              WriteKeptLauncherLogLines();
          }},
         [](const Stamp& c) {
             return header(c) + line(c, "launch_helper: launcher.exe g\xFCncellenemedi: x y") +
                    line(c, "two") + line(c, "three");
         }},
    };
    testsupport::TempDir dir;
    for (const auto& test : cases) {
        Stamp c;
        const std::string written = run_within_one_second(test.processes, c);
        EXPECT_EQ(written, test.expected(c)) << test.name;
    }
}

}  // namespace
