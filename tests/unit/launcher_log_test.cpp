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

std::string stamp(const char* format, std::time_t when) {
    std::tm local{};
    localtime_r(&when, &local);
    char out[16];
    std::strftime(out, sizeof out, format, &local);  // NOLINT
    return out;
}

// Runs the body in fresh processes until it ran within one second, and
// hands back the date and time the log must carry.
struct Clock {
    std::string date;
    std::string time;
};

Clock run_within_one_second(const std::function<void()>& body) {
    for (int attempt = 0;; ++attempt) {
        fs::remove_all("base");
        const std::time_t before = std::time(nullptr);
        body();
        const std::time_t after = std::time(nullptr);
        if (before == after || attempt == 5) {
            return {stamp("%m/%d/%y", before), stamp("%H:%M:%S", before)};
        }
    }
}

std::string header(const Clock& c) {
    return "-------- Loglama ba\xFElat\xFDld\xFD launcher: " + c.date + " " + c.time +
           " --------\r\r\n";
}

std::string line(const Clock& c, const std::string& message) {
    return "--- " + c.date + " " + c.time + ": " + message + "\r\r\n";
}

std::string log_bytes() {
    return testsupport::read_bytes("base/launcher_log.txt");
}

TEST(LauncherLog, EachProcessWritesItsHeaderOnceBeforeItsFirstLine) {
    testsupport::TempDir dir;
    const Clock c = run_within_one_second([] {
        testsupport::run_in_child([] {
            WriteLauncherLog("http hatası: %d"_cp1254, 7);
            WriteLauncherLog("%s download ediliyor..."_cp1254, "data\\maps\\x.map");
        });
        testsupport::run_in_child([] { WriteLauncherLog("Dosyalar download edildi."_cp1254); });
    });
    EXPECT_EQ(log_bytes(), header(c) + line(c, "http hatas\xFD: 7") +
                               line(c, "data\\maps\\x.map download ediliyor...") + header(c) +
                               line(c, "Dosyalar download edildi."));
}

TEST(LauncherLog, LineFeedsInAMessageBecomeCrLf) {
    testsupport::TempDir dir;
    const Clock c = run_within_one_second([] {
        testsupport::run_in_child([] { WriteLauncherLog("--------------------------\n"); });
    });
    EXPECT_EQ(log_bytes(), header(c) + line(c, std::string(26, '-') + "\r\n"));
}

TEST(LauncherLog, LongMessageIsCutAt4095Characters) {
    testsupport::TempDir dir;
    const Clock c = run_within_one_second([] {
        testsupport::run_in_child([] { WriteLauncherLog("%s", std::string(5000, 'x').c_str()); });
    });
    EXPECT_EQ(log_bytes(), header(c) + line(c, std::string(4095, 'x')));
}

TEST(LauncherLog, NullFormatDoesNothing) {
    testsupport::TempDir dir;
    testsupport::run_in_child([] {
        const char* volatile nothing = nullptr;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-security"
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
        WriteLauncherLog(nothing);
#pragma GCC diagnostic pop
    });
    EXPECT_FALSE(fs::exists("base"));
}

TEST(LauncherLog, LockedFileLosesTheLineAndDefersTheHeader) {
    testsupport::TempDir dir;
    const Clock c = run_within_one_second([] {
        testsupport::run_in_child([] {
            fs::create_directory("base");
            // Another holder with an exclusive lock, as a program that opened
            // the file without sharing.
            const int other = ::open("base/launcher_log.txt", O_WRONLY | O_CREAT, 0644);
            ::flock(other, LOCK_EX);
            WriteLauncherLog("lost");
            ::close(other);
            WriteLauncherLog("kept");
        });
    });
    EXPECT_EQ(log_bytes(), header(c) + line(c, "kept"));
}

TEST(LauncherLog, UnopenableFileLosesTheLineAndDefersTheHeader) {
    testsupport::TempDir dir;
    const Clock c = run_within_one_second([] {
        testsupport::run_in_child([] {
            fs::create_directories("base/launcher_log.txt");  // a directory in its place
            WriteLauncherLog("lost");
            fs::remove("base/launcher_log.txt");
            WriteLauncherLog("kept");
        });
    });
    EXPECT_EQ(log_bytes(), header(c) + line(c, "kept"));
}

TEST(LauncherLog, AppendsToAnExistingFileAndKeepsItClosed) {
    testsupport::TempDir dir;
    const Clock c = run_within_one_second([] {
        testsupport::write_bytes("base/launcher_log.txt", "old\r\r\n");
        testsupport::run_in_child([] {
            WriteLauncherLog("one");
            // Closed between calls: a file moved away is not written again.
            fs::rename("base/launcher_log.txt", "base/first.txt");
            WriteLauncherLog("two");
        });
    });
    EXPECT_EQ(testsupport::read_bytes("base/first.txt"), "old\r\r\n" + header(c) + line(c, "one"));
    EXPECT_EQ(log_bytes(), line(c, "two"));
}

}  // namespace
