// What the window shows for the worker's messages, as pure functions of
// the message arguments. Texts are CP1254 bytes, as all program texts.
#pragma once

#include <string>

#include "platform/message_target.h"

// WM_PATCH_PROGRESS: bars 1002 (file) and 1003 (run), 0..10000; status
// 1022 "Güncelleniyor: " + the file from GetStatusText; counter 1023
// "Dosya: done / total".
struct PatchProgressView {
    int filePosition = 0;
    int runPosition = 0;
    std::string statusText;
    std::string counterText;
};
PatchProgressView DescribePatchProgress(platform::WPARAM wParam, platform::LPARAM lParam,
                                        const std::string& currentFile);

// WM_PATCH_SPEED: 1024 "Hız: N KB/s", 1025 "Kalan süre: ..." .
struct PatchSpeedView {
    std::string speedText;
    std::string remainingText;
};
PatchSpeedView DescribePatchSpeed(platform::WPARAM wParam);

// "Kalan süre: 1s 2dk 5s", "Kalan süre: 2dk 5s", "Kalan süre: 59s".
std::string RemainingTimeText(unsigned seconds);

// WM_PATCH_DONE's status line: files were downloaded, or none were due.
std::string PatchDoneText(platform::WPARAM filesDone);

// The notes of 1025 after WM_PATCH_DONE and WM_SERVERLIST_READY, and the
// two lines shown when the run reports a failure.
extern const char* const kWaitingForServersText;
extern const char* const kGameReadyText;
extern const char* const kPatchFailedText;
extern const char* const kTryLaterText;
