#include "patch/patch_downloader.h"

#include <vector>

#include "log/launcher_log.h"
#include "patch/attribute_survey.h"
#include "patch/file_checks.h"
#include "platform/last_error.h"

PatchDownloader::PatchDownloader(platform::MessageTarget* window_, PatchOptions options_)
    : window(window_),
      progress(window_, options_.clock),
      options(std::move(options_)),
      gameDirectory(options.gameDir) {
    progress.SetLimitRate(options.limitRate);
}

PatchDownloader::~PatchDownloader() {
    Stop();
}

void PatchDownloader::Start() {
    if (worker.joinable() || doneEvent.is_set()) return;
    worker = boost::thread([this] { Run(); });
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
    boost::mutex::scoped_lock lock(finishedMutex);
    return finished;
}

std::string PatchDownloader::GetStatusText() {
    boost::mutex::scoped_lock lock(statusMutex);
    return statusText;
}

void PatchDownloader::SetStatusText(const std::string& text) {
    boost::mutex::scoped_lock lock(statusMutex);
    statusText = text;
}

std::vector<ServerEntry> PatchDownloader::GetServers() {
    boost::mutex::scoped_lock lock(serversMutex);
    return servers;
}

std::string PatchDownloader::GetTransferError() {
    boost::mutex::scoped_lock lock(errorMutex);
    return transferError;
}

void PatchDownloader::SetTransferError(const std::string& text) {
    boost::mutex::scoped_lock lock(errorMutex);
    transferError = text;
}

bool PatchDownloader::AllDueFilesDone() const {
    return progress.FilesDone() == progress.FilesTotal();
}

void PatchDownloader::EnterGameDirectory() const {
    if (!options.gameDir.empty()) gameDirectory.enter();
}

void PatchDownloader::Post(platform::UINT message, platform::WPARAM wParam,
                           platform::LPARAM lParam) {
    window->PostMessage(message, wParam, lParam);
}

void PatchDownloader::CheckFiles(std::list<UpdateListEntry>& entries, AttributeSurvey* given) {
    WriteLauncherLog("Download edilmesi gereken dosyalar: ");
    EnterGameDirectory();
    // The files are looked up and judged ahead, several at a time (from the
    // moment the list began to arrive, when the run fetched it); logged and
    // marked here in list order.
    std::unique_ptr<AttributeSurvey> own;
    if (given == nullptr) {
        own = std::make_unique<AttributeSurvey>();
        for (const UpdateListEntry& entry : entries) own->Add(&entry);
        own->Close();
    }
    AttributeSurvey* survey = given != nullptr ? given : own.get();
    if (options.signedOnly) installed_.Load();
    bool madeDirectories = false;
    std::size_t i = 0;
    for (UpdateListEntry& entry : entries) {
        if (stopEvent.is_set()) break;
        int error = 0;
        bool current = false;
        platform::File file;
        const bool surveyed = survey->Take(i++, file, error, current);
        if (surveyed && current) {
            // There, with the list's size and time (and, verifying all, bytes).
            if (!BytesDiffer(entry) && !HashChanged(entry)) continue;
        } else {
            if (!surveyed ||
                // A folder made for an earlier entry may now stand where this
                // one was missing: look again, as a lookup in turn would see it.
                (!file.valid() && platform::is_not_found(error) && madeDirectories)) {
                file = platform::File::open_for_attributes(entry.path);
                error = platform::last_error();
            }
            if (!file.valid()) platform::set_last_error(error);
            // Both are asked, also for a missing file: each logs its own line.
            const bool timeDiffers = isFileTimeDifferent(file, entry.timeStamp);
            const bool sizeDiffers = isFileSizeDifferentWithHandle(file, entry.size);
            const bool exists = file.valid();
            file.close();
            if (exists && !timeDiffers && !sizeDiffers && !BytesDiffer(entry) &&
                !HashChanged(entry)) {
                continue;
            }
        }
        const std::size_t slash = entry.path.rfind('\\');
        if (slash != std::string::npos) {
            EnterGameDirectory();
            CreateDirectoryPath(entry.path.substr(0, slash));
            madeDirectories = true;
        }
        entry.needsDownload = true;
        progress.CountDue(entry.size);
    }
    WriteLauncherLog("--------------------------\n");
}
