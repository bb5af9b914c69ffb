// What the player reads for a run's report: the status texts the launcher
// window shows, and valdora-patch prints, for each value. CP1254 bytes, as
// all program texts.
#pragma once

#include <cstdint>
#include <string>

#include "patch/run_report.h"

// Progress: status "Güncelleniyor: " + the file shown; counter "Dosya: done
// / total".
struct PatchProgressView {
    int filePosition = 0;
    int runPosition = 0;
    std::string statusText;
    std::string counterText;
};
PatchProgressView DescribePatchProgress(const ProgressReport& progress,
                                        const std::string& currentFile);

// Speed: "Hız: N KB/s" and "Kalan süre: ...".
struct PatchSpeedView {
    std::string speedText;
    std::string remainingText;
};
PatchSpeedView DescribePatchSpeed(const SpeedReport& speed);

// "Kalan süre: 1s 2dk 5s", "Kalan süre: 2dk 5s", "Kalan süre: 59s".
std::string RemainingTimeText(unsigned seconds);

// The status line once the downloads are done: files were downloaded, or
// none were due.
std::string PatchDoneText(std::uint16_t filesDone);

// The notes after the downloads and once the servers are listed, and the
// two lines shown when the run reports a failure.
extern const char* const kWaitingForServersText;
extern const char* const kGameReadyText;
extern const char* const kPatchFailedText;
extern const char* const kTryLaterText;
