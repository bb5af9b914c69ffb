#include "window/window_messages.h"

namespace window {

namespace {

WPARAM Pack(std::uint16_t high, std::uint16_t low) {
    return static_cast<WPARAM>(high) << 16 | low;
}

std::uint16_t High(WPARAM value) {
    return static_cast<std::uint16_t>(value >> 16);
}

std::uint16_t Low(WPARAM value) {
    return static_cast<std::uint16_t>(value);
}

WPARAM FailureCode(FailureKind kind) {
    switch (kind) {
        case FailureKind::Write:
            return kFailedWrite;
        case FailureKind::UpdateList:
            return kFailedUpdateList;
        case FailureKind::Transfer:
            return kFailedTransfer;
        case FailureKind::NotSigned:
            return kFailedNotSigned;
    }
    return kFailedWrite;
}

}  // namespace

void ReportMessages::Progress(const ProgressReport& p) {
    target_.PostMessage(WM_PATCH_PROGRESS, Pack(p.runPosition, p.filePosition),
                        static_cast<LPARAM>(Pack(p.filesTotal, p.filesDone)));
}

void ReportMessages::Speed(const SpeedReport& speed) {
    target_.PostMessage(WM_PATCH_SPEED, Pack(speed.secondsLeft, speed.kbPerSecond), 0);
}

void ReportMessages::Done(std::uint16_t filesDone) {
    target_.PostMessage(WM_PATCH_DONE, filesDone, 0);
}

void ReportMessages::Failed(const FailureReport& failure) {
    // Only a transfer's failure carries libcurl's code, as its low 16 bits.
    const auto code = static_cast<std::uint16_t>(
        failure.kind == FailureKind::Transfer ? failure.transferCode : 0);
    target_.PostMessage(WM_PATCH_FAILED, Pack(code, Low(FailureCode(failure.kind))), 0);
}

void ReportMessages::ServersReady(const std::vector<ServerEntry>&, unsigned count) {
    target_.PostMessage(WM_SERVERLIST_READY, count, 0);
}

void ReportMessages::Notify(const Notice& notice) {
    target_.MessageBox(notice.text, notice.caption, notice.icon, notice.owner);
}

void ReportMessages::TooMuchToDownload() {
    target_.PostMessage(WM_PATCH_QUIT, 0, 0);
}

void ReportMessages::HandOver() {
    target_.PostMessage(WM_RUN_LAUNCH_HELPER, 0, 0);
}

ProgressReport UnpackProgress(WPARAM wParam, LPARAM lParam) {
    const auto files = static_cast<WPARAM>(lParam);
    return {High(wParam), Low(wParam), Low(files), High(files)};
}

SpeedReport UnpackSpeed(WPARAM wParam) {
    return {Low(wParam), High(wParam)};
}

}  // namespace window
