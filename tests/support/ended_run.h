// A patch run that has ended in the current directory with the servers of
// `serverList` ("serverlist.txt", nothing to patch); its own reports go to
// a recorder, so a window test plays the worker towards the window.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>

#include "patch/patch_downloader.h"
#include "support/files.h"
#include "support/recording_report.h"

namespace testsupport {

inline std::unique_ptr<PatchDownloader> EndedRun(const std::string& serverList) {
    static RecordingReport ignored;
    write_bytes("list.txt", "b\r\nv\r\n");
    write_bytes("serverlist.txt", serverList);
    PatchOptions options;
    options.skipPatch = options.serverTest = true;
    options.updateListUrl = "file://" + (std::filesystem::current_path() / "list.txt").string();
    auto run = std::make_unique<PatchDownloader>(&ignored, options);
    run->Start();
    EXPECT_TRUE(run->WaitForEnd(std::chrono::seconds(20)));
    return run;
}

}  // namespace testsupport
