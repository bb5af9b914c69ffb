#include "terminal_report.h"

#include "patch/report_texts.h"
#include "platform/codepage.h"
#include "platform/terminal.h"

namespace {

// At most `columns` characters of UTF-8 text, cut between characters.
std::string fit(const std::string& text, std::size_t columns) {
    std::size_t characters = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if ((static_cast<unsigned char>(text[i]) & 0xC0) == 0x80) continue;
        if (++characters > columns) return text.substr(0, i);
    }
    return text;
}

}  // namespace

TerminalReport::TerminalReport(std::FILE* out, bool live) : out_(out), live_(live) {}

void TerminalReport::end_live_line() {
    if (!liveLineOpen_) return;
    std::fputc('\n', out_);
    liveLineOpen_ = false;
}

void TerminalReport::print_line(const std::string& cp1254Text) {
    end_live_line();
    std::fprintf(out_, "%s\n", platform::cp1254_to_utf8(cp1254Text).c_str());
    std::fflush(out_);
}

void TerminalReport::show_live() {
    std::string line = status_;
    for (const std::string* part : {&counter_, &speed_, &info_}) {
        if (!part->empty()) line += "  " + *part;
    }
    line = platform::cp1254_to_utf8(line);
    if (!live_) {
        std::fprintf(out_, "%s\n", line.c_str());
    } else {
        std::fprintf(out_, "\r\033[K%s", fit(line, platform::terminal_columns(out_) - 1).c_str());
        liveLineOpen_ = true;
    }
    std::fflush(out_);
}

void TerminalReport::ShowFile(const std::string& path) {
    const std::lock_guard<std::mutex> lock(mutex_);
    file_ = path;
}

void TerminalReport::Progress(const ProgressReport& progress) {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (givenUp_) return;
    const PatchProgressView view = DescribePatchProgress(progress, file_);
    status_ = view.statusText;
    counter_ = view.counterText;
    show_live();
}

void TerminalReport::Speed(const SpeedReport& speed) {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (givenUp_) return;
    const PatchSpeedView view = DescribePatchSpeed(speed);
    speed_ = view.speedText;
    info_ = view.remainingText;
    show_live();
}

void TerminalReport::Failed(const FailureReport& failure) {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (givenUp_) return;
    failed_ = true;
    // The failure's number, and libcurl's code (its low 16 bits) for a
    // transfer, as the window is told them.
    const bool transfer = failure.kind == FailureKind::Transfer;
    const auto code = transfer ? static_cast<std::uint16_t>(failure.transferCode) : 0;
    print_line(std::string(kPatchFailedText) + " " + kTryLaterText + " (" +
               std::to_string(static_cast<unsigned>(failure.kind)) + ", " + std::to_string(code) +
               ")");
    // The list or a file could not be fetched: libcurl's own words.
    if (failure.kind != FailureKind::Write && !failure.text.empty()) {
        print_line("  " + failure.text);
    }
}

void TerminalReport::Done(std::uint16_t filesDone) {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (givenUp_) return;
    print_line(failed_ ? kPatchFailedText : PatchDoneText(filesDone));
    print_line(kWaitingForServersText);
    status_.clear(), counter_.clear(), speed_.clear(), info_.clear();
    serversAskedAt_ = std::chrono::steady_clock::now();
}

void TerminalReport::ServersReady(const std::vector<ServerEntry>& servers, unsigned) {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (givenUp_) return;
    ready_ = true;
    serversAskedAt_.reset();
    print_line(kGameReadyText);
    for (const ServerEntry& server : servers) std::fprintf(out_, "  %s\n", server.name.c_str());
    std::fflush(out_);
}

void TerminalReport::TooMuchToDownload() {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (!givenUp_) quit_ = true;
}

void TerminalReport::HandOver() {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (givenUp_) return;
    handOver_ = true;
    print_line("launch_helper.exe");
}

void TerminalReport::Notify(const Notice& notice) {
    const std::lock_guard<std::mutex> lock(mutex_);
    end_live_line();
    std::fprintf(out_, "[%s] %s\n", platform::utf16_to_utf8(notice.caption).c_str(),
                 platform::utf16_to_utf8(notice.text).c_str());
    std::fflush(out_);
}

std::optional<std::chrono::steady_clock::time_point> TerminalReport::waiting_for_servers_since() {
    const std::lock_guard<std::mutex> lock(mutex_);
    return serversAskedAt_;
}

void TerminalReport::give_up() {
    const std::lock_guard<std::mutex> lock(mutex_);
    givenUp_ = true;
    end_live_line();
}

int TerminalReport::exit_status(bool allFilesDone) const {
    if (quit_) return 2;
    if (handOver_) return 3;
    if (ready_) return failed_ || !allFilesDone ? 4 : 0;
    return 1;
}
