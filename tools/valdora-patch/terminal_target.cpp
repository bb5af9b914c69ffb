#include "terminal_target.h"

#include "platform/codepage.h"
#include "platform/terminal.h"
#include "window/texts.h"

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

TerminalTarget::TerminalTarget(std::FILE* out, bool live) : out_(out), live_(live) {}

void TerminalTarget::end_live_line() {
    if (!liveLineOpen_) return;
    std::fputc('\n', out_);
    liveLineOpen_ = false;
}

void TerminalTarget::print_line(const std::string& cp1254Text) {
    end_live_line();
    std::fprintf(out_, "%s\n", platform::cp1254_to_utf8(cp1254Text).c_str());
    std::fflush(out_);
}

void TerminalTarget::show_live() {
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

void TerminalTarget::PostMessage(platform::UINT message, platform::WPARAM wParam,
                                 platform::LPARAM lParam) {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (givenUp_) return;
    switch (message) {
        case WM_PATCH_PROGRESS: {
            const PatchProgressView view =
                DescribePatchProgress(wParam, lParam, downloader_->GetStatusText());
            status_ = view.statusText;
            counter_ = view.counterText;
            show_live();
            break;
        }
        case WM_PATCH_SPEED: {
            const PatchSpeedView view = DescribePatchSpeed(wParam);
            speed_ = view.speedText;
            info_ = view.remainingText;
            show_live();
            break;
        }
        case WM_PATCH_FAILED: {
            failed_ = true;
            print_line(std::string(kPatchFailedText) + " " + kTryLaterText + " (" +
                       std::to_string(wParam & 0xFFFF) + ", " + std::to_string(wParam >> 16) + ")");
            // The list or a file could not be fetched: libcurl's own words.
            const std::string why = downloader_->GetTransferError();
            if ((wParam & 0xFFFF) != 1 && !why.empty()) print_line("  " + why);
            break;
        }
        case WM_PATCH_DONE:
            print_line(failed_ ? kPatchFailedText : PatchDoneText(wParam));
            print_line(kWaitingForServersText);
            status_.clear(), counter_.clear(), speed_.clear(), info_.clear();
            serversAskedAt_ = std::chrono::steady_clock::now();
            break;
        case WM_SERVERLIST_READY:
            ready_ = true;
            serversAskedAt_.reset();
            print_line(kGameReadyText);
            for (const ServerEntry& server : downloader_->GetServers()) {
                std::fprintf(out_, "  %s\n", server.name.c_str());
            }
            std::fflush(out_);
            break;
        case WM_PATCH_QUIT:
            quit_ = true;
            break;
        case WM_RUN_LAUNCH_HELPER:
            handOver_ = true;
            print_line("launch_helper.exe");
            break;
        default:
            break;
    }
}

int TerminalTarget::MessageBox(std::u16string_view text, std::u16string_view caption,
                               platform::UINT, platform::BoxOwner) {
    const std::lock_guard<std::mutex> lock(mutex_);
    end_live_line();
    std::fprintf(out_, "[%s] %s\n", platform::utf16_to_utf8(caption).c_str(),
                 platform::utf16_to_utf8(text).c_str());
    std::fflush(out_);
    return platform::IDOK;
}

std::optional<std::chrono::steady_clock::time_point> TerminalTarget::waiting_for_servers_since() {
    const std::lock_guard<std::mutex> lock(mutex_);
    return serversAskedAt_;
}

void TerminalTarget::give_up() {
    const std::lock_guard<std::mutex> lock(mutex_);
    givenUp_ = true;
    end_live_line();
}

int TerminalTarget::exit_status(bool allFilesDone) const {
    if (quit_) return 2;
    if (handOver_) return 3;
    if (ready_) return failed_ || !allFilesDone ? 4 : 0;
    return 1;
}
