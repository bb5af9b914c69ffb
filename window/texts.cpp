#include "window/texts.h"

#include "log/launcher_log.h"
#include "platform/codepage.h"
#include "platform/cp1254_literal.h"

using namespace platform::literals;

const char* const kWaitingForServersText = "Sunucu listesi bekleniyor..."_cp1254;
const char* const kGameReadyText = "Oyun başlamaya hazır."_cp1254;
const char* const kPatchFailedText = "Güncelleme tamamlanamadı !"_cp1254;
const char* const kTryLaterText = "Lütfen daha sonra tekrar deneyiniz."_cp1254;

PatchProgressView DescribePatchProgress(platform::WPARAM wParam, platform::LPARAM lParam,
                                        const std::string& currentFile) {
    const auto l = static_cast<platform::WPARAM>(lParam);
    PatchProgressView view;
    view.filePosition = static_cast<int>(wParam & 0xFFFF);
    view.runPosition = static_cast<int>((wParam >> 16) & 0xFFFF);
    view.statusText = "Güncelleniyor: "_cp1254 + currentFile;
    view.counterText =
        "Dosya: " + std::to_string(l & 0xFFFF) + " / " + std::to_string((l >> 16) & 0xFFFF);
    return view;
}

std::string RemainingTimeText(unsigned seconds) {
    const unsigned hours = seconds / 3600;
    const unsigned minutes = seconds / 60 % 60;
    const std::string s = std::to_string(seconds % 60) + "s";
    std::string text = "Kalan süre: "_cp1254;
    if (hours > 0) return text + std::to_string(hours) + "s " + std::to_string(minutes) + "dk " + s;
    if (minutes > 0) return text + std::to_string(minutes) + "dk " + s;
    return text + s;
}

PatchSpeedView DescribePatchSpeed(platform::WPARAM wParam) {
    PatchSpeedView view;
    view.speedText = "Hız: "_cp1254 + std::to_string(wParam & 0xFFFF) + " KB/s";
    view.remainingText = RemainingTimeText(static_cast<unsigned>((wParam >> 16) & 0xFFFF));
    return view;
}

std::string PatchDoneText(platform::WPARAM filesDone) {
    return filesDone != 0 ? "Güncelleme tamamlandı !"_cp1254
                          : "Bütün dosyalar güncel durumda."_cp1254;
}

std::u16string ServerDisplayName(std::string_view name) {
    // UTF-8 names up to 200 UTF-16 units; anything else through the code page.
    std::u16string shown = platform::utf8_to_utf16(name);
    if (shown.empty() || shown.size() > 200) shown = platform::cp1254_to_utf16(name);
    return shown;
}

void LogWebPanesUnavailable(const std::string& reason) {
    WriteLauncherLog("Web panelleri yüklenemedi: %s"_cp1254, reason.c_str());
}
