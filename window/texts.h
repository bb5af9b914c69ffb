// Every text the launcher window shows, and what it shows for each of the
// worker's messages, as pure functions of the message arguments. Status
// texts are CP1254 bytes, as all program texts; box texts and the title are
// UTF-16, as the system takes them.
#pragma once

#include <string>
#include <string_view>

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

// A server's line in the list: its UTF-8 name, or, when that is empty or
// longer than 200 UTF-16 units, the name read through the code page.
std::u16string ServerDisplayName(std::string_view name);

// The window's title (the taskbar's text).
inline constexpr char16_t kWindowTitle[] = u"Valdora Oyunu Güncelleyicisi";
// OYNA without a server chosen.
inline constexpr char16_t kChooseServerText[] = u"Lütfen bir sunucu seçiniz.";
inline constexpr char16_t kChooseServerCaption[] = u"Uyarı";

// The promotional pages of panes 1019, 1020 and 1034, on the web site.
inline constexpr const char* kPromoPages[] = {"/LauncherPromo1.aspx", "/LauncherPromo2.aspx",
                                              "/LauncherPromo3.aspx"};
// The game guide the guide button opens with the system's viewer.
inline constexpr const char* kGuideFile = "valdora_oyun_rehberi.pdf";

// Logged once when the web panes' browsers cannot be had (the panes stay
// black): the reason follows.
void LogWebPanesUnavailable(const std::string& reason);
