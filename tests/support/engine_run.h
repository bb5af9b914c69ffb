// The patch engine run in the test's own process, in a game directory of its
// own, against an update list and a server list the test serves: what it
// reports, its message boxes and its log lines.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "patch/patch_downloader.h"
#include "platform/codepage.h"
#include "platform/file.h"
#include "platform/last_error.h"
#include "support/files.h"
#include "support/http_server.h"
#include "support/launcher_log.h"
#include "support/recording_report.h"
#include "support/temp_dir.h"
#include "trust/keys.h"

namespace testsupport {

using Log = std::vector<std::string>;
using Replies = std::map<std::string, std::vector<Reply>>;  // path -> first answers

inline constexpr const char* kServers = "/serverlist_test.aspx";
inline const std::string kServerList = "V1|x|y|10.0.0.1|7000\r\nV2|x|y|10.0.0.2|7000\r\n";
// The system's code of a failed call, as the log shows it: they differ
// between systems. A folder that is there already, a folder where a file
// should be.
inline std::string code_of(bool) {
    return std::to_string(platform::last_error());
}
inline const std::string kExistsCode = code_of(platform::create_directory("."));
inline const std::string kFolderCode = code_of(platform::File::open_for_attributes(".").valid());
// What the check logs for a missing file, and for one whose folder is
// missing too (the second code is what the log call before it left).
inline const Log kMissing = {
    "Error opening file in GetLastWriteTime(): 2",
    "Error opening file in isFileSizeDifferentWithHandle(): " + kExistsCode};
inline const Log kMissingFolder = {
    "Error opening file in GetLastWriteTime(): " +
        code_of(platform::File::open_for_attributes("no folder/no file").valid()),
    kMissing[1]};

// The check's log lines with those of each file it could not open, then `after`.
inline Log check_log(const std::vector<Log>& files, const Log& after) {
    Log lines = {"Download edilmesi gereken dosyalar: "};
    for (const Log& f : files) lines.insert(lines.end(), f.begin(), f.end());
    lines.push_back("--------------------------\r\n");
    lines.insert(lines.end(), after.begin(), after.end());
    return lines;
}

// The game files below `game` (listed paths, in the launcher's form) that
// look current to a launcher (the listed size; the list's time `listTime`
// to the hour, UTC) while their bytes differ from the site's.
inline std::vector<std::string> current_but_wrong(const std::filesystem::path& game,
                                                  const Files& files,
                                                  std::int64_t listTime = kTime) {
    std::vector<std::string> wrong;
    for (const auto& [path, bytes] : files) {
        const std::filesystem::path at = game / utf8_path(platform::native_path(path));
        std::error_code ec;
        if (std::filesystem::file_size(at, ec) != bytes.size() || ec) continue;
        const std::int64_t time = write_time(at);
        if (time / 86400 == listTime / 86400 && std::abs(time / 3600 - listTime / 3600) <= 1 &&
            read_bytes(at) != bytes) {
            wrong.push_back(path);
        }
    }
    return wrong;
}

class EngineRun : public ::testing::Test {
protected:
    TempDir dir;
    const std::filesystem::path game = dir.path() / "game";
    HttpServer server;
    RecordingReport report;
    PatchOptions options;
    Files served;

    EngineRun() {
        std::filesystem::create_directories(game);
        options.gameDir = game.string();
        options.serverListUrl = server.url(kServers);
        options.webSite = "http://www.valdora.example";
        options.clock = [] { return 0u; };  // no timed progress reports: exact sequences
        options.maxTransfers = 1;           // one file after the other: exact sequences too
        server.serve(kServers, kServerList);
    }
    // No run may leave a game file that looks current but is not.
    void TearDown() override { EXPECT_EQ(current_but_wrong(game, served), Log{}); }

    // Serves the list of `files` stamped kTimeText (with the sizes in
    // `listed` where given) and the files, each after its `replies`.
    void serve(const Files& files, const Replies& replies = {},
               const std::map<std::string, std::uint32_t>& listed = {}) {
        served = files;
        std::string list = server.url("/files") + "\r\nnote\r\n";
        for (const auto& [path, bytes] : files) {
            const std::size_t size = listed.count(path) ? listed.at(path) : bytes.size();
            list += path + "\r\n" + std::to_string(size) + "\r\n" + kTimeText + "\r\n";
            std::vector<Reply> queue =
                replies.count(path) ? replies.at(path) : std::vector<Reply>{};
            queue.push_back({200, bytes});
            // The launcher asks for the file's UTF-8 name, "/" between folders.
            server.serve("/files/" + platform::cp1254_to_utf8(path), queue);
        }
        server.serve(kListPath, list);
    }

    // A run started on its own thread, with no reports, boxes or log before it.
    std::unique_ptr<PatchDownloader> start(const std::string& listUrl = "") {
        report.values.clear();
        report.boxes.clear();
        std::error_code ec;  // a read-only game directory keeps no log
        std::filesystem::remove(game / "base" / "launcher_log.txt", ec);
        options.updateListUrl = listUrl.empty() ? server.url(kListPath) : listUrl;
        auto d = std::make_unique<PatchDownloader>(&report, options);
        d->Start();
        return d;
    }
    // A whole run; it leaves no "~temp.dat".
    std::unique_ptr<PatchDownloader> run(const std::string& listUrl = "") {
        auto d = start(listUrl);
        if (!d->WaitForEnd(std::chrono::seconds(60))) {
            ADD_FAILURE() << "the run did not end within a minute";
            std::abort();  // rather than wait for its thread at the end
        }
        EXPECT_FALSE(std::filesystem::is_regular_file(game / "~temp.dat"));
        return d;
    }

    // The run takes only a site signed with `key`, whose secret the
    // publisher finds in "valdora.key" (SignKey()).
    void TrustKey(const trust::SecretKey& key) {
        write_bytes(dir.path() / "valdora.key", trust::FormatSecretKey(key));
        options.signedOnly = true;
        options.trustedKeys = {trust::PublicKeyOf(key)};
    }
    std::vector<std::string> SignKey() const {
        return {"--sign-key", (dir.path() / "valdora.key").string()};
    }

    Log log() const { return log_messages(game); }
    void clear() {
        for (const auto& entry : std::filesystem::directory_iterator(game)) {
            std::filesystem::remove_all(entry.path());
        }
    }
};

}  // namespace testsupport
