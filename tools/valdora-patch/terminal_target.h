// valdora-patch's "window": renders each posted message with the texts the
// launcher window shows, as one live line on a terminal or one line per
// message otherwise, and keeps the outcome of the run for the exit status.
#pragma once

#include <chrono>
#include <cstdio>
#include <mutex>
#include <optional>
#include <string>

#include "patch/patch_downloader.h"
#include "platform/message_target.h"

class TerminalTarget : public platform::MessageTarget {
public:
    TerminalTarget(std::FILE* out, bool live);

    // The run whose status text and servers are shown; set before it starts.
    void attach(PatchDownloader* downloader) { downloader_ = downloader; }

    void PostMessage(platform::UINT message, platform::WPARAM wParam,
                     platform::LPARAM lParam) override;
    // Prints the box and answers OK at once.
    int MessageBox(std::u16string_view text, std::u16string_view caption, platform::UINT type,
                   platform::BoxOwner owner) override;

    // The exit status of the run, as documented in main.cpp.
    int exit_status(bool allFilesDone) const;

    // Since when the run has been waiting for the server list (from
    // WM_PATCH_DONE until the list is ready), if it is.
    std::optional<std::chrono::steady_clock::time_point> waiting_for_servers_since();
    // Shows nothing more of the run (the live line ended): it is being
    // given up, or was stopped.
    void give_up();

private:
    void show_live();
    void print_line(const std::string& cp1254Text);
    void end_live_line();

    std::FILE* out_;
    const bool live_;
    PatchDownloader* downloader_ = nullptr;
    std::mutex mutex_;
    // The four status texts of the window (CP1254).
    std::string status_, counter_, speed_, info_;
    bool liveLineOpen_ = false;
    bool failed_ = false;
    bool ready_ = false;
    bool quit_ = false;
    bool handOver_ = false;
    bool givenUp_ = false;
    std::optional<std::chrono::steady_clock::time_point> serversAskedAt_;
};
