// The window's edge of the patch run: the numbered messages the worker
// posts to the launcher window, their arguments, and the one place that
// makes them from the run's report (patch/run_report.h) and reads them back.
//
//   WM_PATCH_PROGRESS    wParam run position << 16 | file position (each in
//                        ten-thousandths), lParam files total << 16 | done
//   WM_PATCH_DONE        wParam files done
//   WM_PATCH_FAILED      wParam transfer code << 16 | failure code
//   WM_PATCH_SPEED       wParam remaining seconds << 16 | KB/s
//   WM_SERVERLIST_READY  wParam the servers' count
//   WM_PATCH_QUIT, WM_RUN_LAUNCH_HELPER
// Every value is sent as its low 16 bits.
#pragma once

#include <cstdint>

#include "patch/run_report.h"
#include "platform/message_box.h"

namespace window {

using UINT = std::uint32_t;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;

inline constexpr UINT WM_USER = 0x0400;

}  // namespace window

inline constexpr window::UINT WM_PATCH_PROGRESS = window::WM_USER + 1;
inline constexpr window::UINT WM_PATCH_DONE = window::WM_USER + 2;
inline constexpr window::UINT WM_PATCH_FAILED = window::WM_USER + 3;
inline constexpr window::UINT WM_PATCH_SPEED = window::WM_USER + 4;
inline constexpr window::UINT WM_SERVERLIST_READY = window::WM_USER + 5;
inline constexpr window::UINT WM_PATCH_QUIT = window::WM_USER + 6;
inline constexpr window::UINT WM_RUN_LAUNCH_HELPER = window::WM_USER + 7;

// The failure codes in WM_PATCH_FAILED's low half.
inline constexpr window::WPARAM kFailedWrite = 1;  // also "~temp.dat"
inline constexpr window::WPARAM kFailedUpdateList = 2;
inline constexpr window::WPARAM kFailedTransfer = 3;  // libcurl's code above it
inline constexpr window::WPARAM kFailedNotSigned = 4;

namespace window {

// Where the window's messages go (the window's own queue, through its
// toolkit) and its boxes are shown.
class MessageTarget : public platform::MessageBoxes {
public:
    // Queues the message for the window's thread and returns at once.
    virtual void PostMessage(UINT message, WPARAM wParam, LPARAM lParam) = 0;
};

// The run's report as the window has always been told it: each value a
// posted message (the boxes shown through the same target). The file shown,
// the servers and the finished flag the window reads from the run itself.
class ReportMessages : public RunReport {
public:
    explicit ReportMessages(MessageTarget& target) : target_(target) {}

    void ShowFile(const std::string&) override {}
    void Progress(const ProgressReport& progress) override;
    void Speed(const SpeedReport& speed) override;
    void Done(std::uint16_t filesDone) override;
    void Failed(const FailureReport& failure) override;
    void ServersReady(const std::vector<ServerEntry>& servers, unsigned count) override;
    void Notify(const Notice& notice) override;
    void TooMuchToDownload() override;
    void HandOver() override;

private:
    MessageTarget& target_;
};

// The values of a message's arguments, as the window reads them.
ProgressReport UnpackProgress(WPARAM wParam, LPARAM lParam);
SpeedReport UnpackSpeed(WPARAM wParam);

}  // namespace window
