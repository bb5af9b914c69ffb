#include "patch/patch_downloader.h"

PatchDownloader::PatchDownloader(RunReport* report_, PatchOptions options_)
    : report(report_), options(std::move(options_)), run(options, *this, stopEvent) {}

PatchDownloader::~PatchDownloader() {
    Stop();
}

void PatchDownloader::Start() {
    if (worker.joinable() || doneEvent.is_set()) return;
    worker = std::thread([this] {
        run.Run();
        // Nothing of the run touches the object after this.
        doneEvent.set();
    });
}

void PatchDownloader::RequestStop() {
    stopEvent.set();
}

bool PatchDownloader::WaitForEnd(std::chrono::milliseconds limit) const {
    return doneEvent.wait_for(limit);
}

void PatchDownloader::Stop() {
    RequestStop();
    if (worker.joinable()) worker.join();
}

bool PatchDownloader::Stop(std::chrono::milliseconds limit) {
    RequestStop();
    if (!worker.joinable()) return true;
    if (!doneEvent.wait_for(limit)) return false;
    worker.join();
    return true;
}

bool PatchDownloader::IsFinished() {
    std::lock_guard<std::mutex> lock(finishedMutex);
    return finished;
}

std::string PatchDownloader::GetStatusText() {
    std::lock_guard<std::mutex> lock(statusMutex);
    return statusText;
}

void PatchDownloader::SetStatusText(const std::string& text) {
    std::lock_guard<std::mutex> lock(statusMutex);
    statusText = text;
}

std::vector<ServerEntry> PatchDownloader::GetServers() {
    std::lock_guard<std::mutex> lock(serversMutex);
    return servers;
}

void PatchDownloader::ShowFile(const std::string& path) {
    SetStatusText(path);
    report->ShowFile(path);
}

void PatchDownloader::Done(std::uint16_t filesDone) {
    {
        std::lock_guard<std::mutex> lock(finishedMutex);
        finished = true;
    }
    report->Done(filesDone);
}

void PatchDownloader::ServersReady(const std::vector<ServerEntry>& list, unsigned count) {
    {
        std::lock_guard<std::mutex> lock(serversMutex);
        servers = list;
    }
    report->ServersReady(list, count);
}
