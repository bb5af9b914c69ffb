// valdora-patch's "window": renders the run's report with the texts the
// launcher window shows, as one live line on a terminal or one line per
// report otherwise, and keeps the outcome of the run for the exit status.
#pragma once

#include <chrono>
#include <cstdio>
#include <mutex>
#include <optional>
#include <string>

#include "patch/run_report.h"

class TerminalReport : public RunReport {
public:
    TerminalReport(std::FILE* out, bool live);

    void ShowFile(const std::string& path) override;
    void Progress(const ProgressReport& progress) override;
    void Speed(const SpeedReport& speed) override;
    void Done(std::uint16_t filesDone) override;
    void Failed(const FailureReport& failure) override;
    void ServersReady(const std::vector<ServerEntry>& servers, unsigned count) override;
    // Prints the box and goes on at once.
    void Notify(const Notice& notice) override;
    void TooMuchToDownload() override;
    void HandOver() override;

    // The exit status of the run, as documented in main.cpp.
    int exit_status(bool allFilesDone) const;

    // Since when the run has been waiting for the server list (from the
    // downloads' end until the list is ready), if it is.
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
    std::mutex mutex_;
    // The file shown, and the four status texts of the window (CP1254).
    std::string file_, status_, counter_, speed_, info_;
    bool liveLineOpen_ = false;
    bool failed_ = false;
    bool ready_ = false;
    bool quit_ = false;
    bool handOver_ = false;
    bool givenUp_ = false;
    std::optional<std::chrono::steady_clock::time_point> serversAskedAt_;
};
