// The patch engine run in the test's own process, in a game directory of
// its own, against an update list the test serves: its posted messages,
// message boxes and log lines as the window would see them.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <boost/thread/thread.hpp>
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "faults/fault_support.h"
#include "patch/patch_downloader.h"
#include "support/http_server.h"
#include "support/launcher_log.h"
#include "support/recording_target.h"
#include "support/temp_dir.h"

namespace faults {

using Posts = std::vector<testsupport::Posted>;
using Log = std::vector<std::string>;

// The log lines of the check of a game directory where `missing` files are
// missing and the rest differ or match.
inline Log check_lines(int missing) {
    Log lines = {"Download edilmesi gereken dosyalar: "};
    for (int i = 0; i < missing; ++i) {
        // The second code is what the log call before it left.
        lines.push_back("Error opening file in GetLastWriteTime(): 2");
        lines.push_back("Error opening file in isFileSizeDifferentWithHandle(): 17");
    }
    lines.push_back("--------------------------\r\n");
    return lines;
}

class EngineRun : public ::testing::Test {
protected:
    testsupport::TempDir dir;
    const std::filesystem::path game = dir.path() / "game";
    testsupport::HttpServer server;
    testsupport::RecordingTarget target;
    PatchOptions options;

    EngineRun() {
        std::filesystem::create_directories(game);
        options.gameDir = game.string();
        options.serverListUrl = server.url("/servers");
        options.clock = [] { return 0u; };  // no timed progress posts: exact sequences
        server.serve("/servers", "V1|x|y|10.0.0.1|7000\r\nV2|x|y|10.0.0.2|7000\r\n");
    }

    // The list of `files`, stamped kTimeText, with `baseUrl` as line 1.
    std::string list_text(const Files& files, const std::string& baseUrl) const {
        std::string list = baseUrl + "\r\nfaults\r\n";
        for (const auto& [path, bytes] : files) {
            list += path + "\r\n" + std::to_string(bytes.size()) + "\r\n" + kTimeText + "\r\n";
        }
        return list;
    }

    // Serves the list and the files from the test's server; `replies` come
    // first for the files they name, then the file itself.
    void serve(const Files& files,
               const std::map<std::string, std::vector<testsupport::Reply>>& replies = {}) {
        server.serve(kListPath, list_text(files, server.url("/files")));
        for (const auto& [path, bytes] : files) {
            std::vector<testsupport::Reply> queue;
            if (replies.count(path)) queue = replies.at(path);
            queue.push_back({200, bytes});
            // The launcher asks for the list's path with "\" between folders.
            std::string served = path;
            std::replace(served.begin(), served.end(), '/', '\\');
            server.serve("/files/" + served, queue);
        }
    }

    std::unique_ptr<PatchDownloader> downloader(const std::string& listUrl = "") {
        target.posts.clear();
        target.boxes.clear();
        std::error_code ec;  // a read-only game directory keeps no log
        std::filesystem::remove(game / "base" / "launcher_log.txt", ec);
        return std::make_unique<PatchDownloader>(
            &target, listUrl.empty() ? server.url(kListPath) : listUrl, options);
    }

    // A whole run on this thread.
    void run(const std::string& listUrl = "") { downloader(listUrl)->Run(); }

    Log log() const { return testsupport::log_messages(game); }
};

}  // namespace faults
