#include "patch/report_texts.h"

#include "platform/cp1254_literal.h"

using namespace platform::literals;

const char* const kWaitingForServersText = "Sunucu listesi bekleniyor..."_cp1254;
const char* const kGameReadyText = "Oyun başlamaya hazır."_cp1254;
const char* const kPatchFailedText = "Güncelleme tamamlanamadı !"_cp1254;
const char* const kTryLaterText = "Lütfen daha sonra tekrar deneyiniz."_cp1254;

PatchProgressView DescribePatchProgress(const ProgressReport& progress,
                                        const std::string& currentFile) {
    PatchProgressView view;
    view.filePosition = progress.filePosition;
    view.runPosition = progress.runPosition;
    view.statusText = "Güncelleniyor: "_cp1254 + currentFile;
    view.counterText = "Dosya: " + std::to_string(progress.filesDone) + " / " +
                       std::to_string(progress.filesTotal);
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

PatchSpeedView DescribePatchSpeed(const SpeedReport& speed) {
    PatchSpeedView view;
    view.speedText = "Hız: "_cp1254 + std::to_string(speed.kbPerSecond) + " KB/s";
    view.remainingText = RemainingTimeText(speed.secondsLeft);
    return view;
}

std::string PatchDoneText(std::uint16_t filesDone) {
    return filesDone != 0 ? "Güncelleme tamamlandı !"_cp1254
                          : "Bütün dosyalar güncel durumda."_cp1254;
}
