#include "patch/patch_downloader.h"

#include <boost/bind/bind.hpp>
#include <cmath>

#include "app/endpoints.h"
#include "log/launcher_log.h"
#include "net/easy_curl.h"
#include "net/fetch_url.h"
#include "patch/file_checks.h"
#include "platform/codepage.h"
#include "platform/cp1254_literal.h"
#include "platform/file.h"
#include "platform/last_error.h"
#include "platform/system_info.h"

using namespace platform::literals;
using namespace boost::placeholders;

namespace {

constexpr const char* kTempFile = "~temp.dat";
constexpr const char* kLauncherFile = "_launcher.dll";

// A value computed in floating point, truncated toward zero and sent as its
// low 16 bits (as a 32-bit integer would be), without the undefined
// conversion of a value out of range.
platform::WPARAM low16(double value) {
    if (!std::isfinite(value)) return 0;
    double wrapped = std::fmod(std::trunc(value), 65536.0);
    if (wrapped < 0) wrapped += 65536.0;
    return static_cast<platform::WPARAM>(wrapped);
}

// Ten-thousandths of `done` in `total`; 0 while the total is unknown.
platform::WPARAM position(double done, double total) {
    return total == 0.0 ? 0 : low16(done / total * 10000.0);
}

// The progress clock counts from the start of the process, not of the
// machine: differences are taken in signed 32 bits against marks that start
// at 0, so a count from boot would stop every progress post on a machine
// that has been up for more than 24.8 days.
const std::uint32_t kProcessStartTick = platform::tick_count();

}  // namespace

PatchOptions::PatchOptions()
    : webSite(valdora::kWebHost),
      clock([] { return platform::tick_count() - kProcessStartTick; }) {}

PatchDownloader::PatchDownloader(platform::MessageTarget* window_,
                                 const std::string& updateListUrl_, PatchOptions options_)
    : window(window_),
      updateListUrl(updateListUrl_),
      options(std::move(options_)),
      gameDirectory_(options.gameDir) {}

PatchDownloader::~PatchDownloader() {
    Stop();
}

void PatchDownloader::Stop() {
    stopEvent.set();
    doneEvent.wait();
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

void PatchDownloader::EnterGameDirectory() const {
    if (!options.gameDir.empty()) gameDirectory_.enter();
}

void PatchDownloader::Post(platform::UINT message, platform::WPARAM wParam,
                           platform::LPARAM lParam) {
    window->PostMessage(message, wParam, lParam);
}

void PatchDownloader::CheckFiles(std::list<UpdateListEntry>& entries) {
    WriteLauncherLog("Download edilmesi gereken dosyalar: ");
    filesTotal = 0;
    for (UpdateListEntry& entry : entries) {
        EnterGameDirectory();
        platform::File file = platform::File::open_for_attributes(entry.path);
        // Both are asked, also for a missing file: each logs its own line.
        const bool timeDiffers = isFileTimeDifferent(file, entry.timeStamp);
        const bool sizeDiffers = isFileSizeDifferentWithHandle(file, entry.size);
        const bool exists = file.valid();
        file.close();
        if (exists && !timeDiffers && !sizeDiffers) continue;
        const std::size_t slash = entry.path.rfind('\\');
        if (slash != std::string::npos) CreateDirectoryPath(entry.path.substr(0, slash));
        entry.needsDownload = true;
        bytesTotal += entry.size;
        ++filesTotal;
    }
    WriteLauncherLog("--------------------------\n");
}

std::uint32_t PatchDownloader::OnWrite(char* data, std::size_t size, std::size_t count,
                                       void* user) {
    if (stopEvent.is_set()) return 0xFFFFFFFF;
    const std::size_t bytes = size * count;
    if (!static_cast<platform::File*>(user)->write_all(data, bytes)) {
        WriteLauncherLog("Dosya yazma hatası: %d"_cp1254, platform::last_error());
        Post(WM_PATCH_FAILED, 1, 0);
        return 0xFFFFFFFF;
    }
    return static_cast<std::uint32_t>(bytes);
}

int PatchDownloader::OnProgress(double dltotal, double dlnow, double, double) {
    if (stopEvent.is_set()) return -1;
    bytesDone += dlnow - lastProgressBytes;
    lastProgressBytes = dlnow;

    const std::uint32_t now = options.clock();
    if (static_cast<std::int32_t>(now - lastProgressTick) / 1000.0 > 1.0) {
        const platform::WPARAM file = position(dlnow, dltotal);
        const platform::WPARAM run = position(bytesDone, bytesTotal);
        Post(WM_PATCH_PROGRESS, run << 16 | file,
             static_cast<platform::LPARAM>(filesTotal) << 16 | filesDone);
        lastProgressBytes = dlnow;
        lastProgressTick = now;
    }

    const std::uint32_t speedNow = options.clock();
    const double interval = static_cast<std::int32_t>(speedNow - lastSpeedTick) / 1000.0;
    if (!(interval > 1.0)) return 0;
    const platform::WPARAM speed = low16((bytesDone - lastSpeedBytes) / 1024.0 / interval);
    const platform::WPARAM remaining =
        speed == 0 ? 0 : low16((bytesTotal - bytesDone) / 1024.0 / static_cast<double>(speed));
    Post(WM_PATCH_SPEED, remaining << 16 | speed, 0);
    lastSpeedBytes = bytesDone;
    lastSpeedTick = speedNow;
    return 0;
}

void PatchDownloader::Run() {
    RunPhases();
    doneEvent.set();
}

void PatchDownloader::RunPhases() {
    EnterGameDirectory();

    // The update list.
    std::string baseUrl;
    std::list<UpdateListEntry> entries;
    {
        talvo::utility::fetch_url list(updateListUrl);
        list.abort_when([this] { return stopEvent.is_set(); });
        if (!ParseUpdateList(list.fetch(), options.testLauncher, baseUrl, entries)) {
            WriteLauncherLog("download listesi hatalı !"_cp1254);
            Post(WM_PATCH_FAILED, 2, 0);
            return;
        }
    }

    CheckFiles(entries);

    // A new launcher comes first and alone; the rest waits for the run
    // after the update.
    bool launcherUpdate = false;
    UpdateListEntry launcherEntry;
    for (const UpdateListEntry& entry : entries) {
        if (entry.path == kLauncherFile && entry.needsDownload) {
            launcherUpdate = true;
            launcherEntry = entry;
            bytesTotal = entry.size;
            filesTotal = 1;
            break;
        }
    }

    if (bytesTotal > kMaxDownloadBytes) {
        const std::u16string text =
            platform::cp1254_to_utf16("Güncellenecek çok fazla dosya var.\n"_cp1254) +
            platform::utf8_to_utf16(options.webSite) +
            platform::cp1254_to_utf16(" adresinden oyunun en son sürümünü indirip kurunuz."_cp1254);
        window->MessageBox(text, u"Bilgi", platform::MB_OK | platform::MB_ICONINFORMATION,
                           platform::BoxOwner::Window);
        Post(WM_PATCH_QUIT, 0, 0);
        return;
    }

    if (launcherUpdate) entries.assign(1, launcherEntry);

    talvo::utility::easy_curl transfer;
    if (filesTotal > 0) WriteLauncherLog("%d adet dosya download edilecek...", filesTotal);

    while (!stopEvent.is_set() && !entries.empty() && !options.skipPatch) {
        const UpdateListEntry entry = std::move(entries.front());
        entries.pop_front();
        if (!entry.needsDownload) continue;

        SetStatusText(entry.path);
        WriteLauncherLog("%s download ediliyor...", entry.path.c_str());

        EnterGameDirectory();
        platform::File temp = platform::File::create_always(kTempFile);
        if (!temp) {
            window->MessageBox(u"Could not create ~temp.dat !", u"Error", platform::MB_OK,
                               platform::BoxOwner::None);
            Post(WM_PATCH_FAILED, 1, 0);
            return;
        }
        transfer.write_function = boost::bind(&PatchDownloader::OnWrite, this, _1, _2, _3, _4);
        transfer.progress_function =
            boost::bind(&PatchDownloader::OnProgress, this, _1, _2, _3, _4);
        transfer.url = FileUrl(baseUrl, entry.path);
        transfer.write_data = &temp;
        lastProgressBytes = 0.0;
        lastProgressTick = 0;

        const CURLcode code = transfer.perform();
        temp.close();
        EnterGameDirectory();
        if (code != CURLE_OK) {
            WriteLauncherLog("http hatası: %d"_cp1254, static_cast<int>(code));
            Post(WM_PATCH_FAILED, (static_cast<platform::WPARAM>(code) & 0xFFFF) << 16 | 3, 0);
            platform::delete_file(kTempFile);
            break;
        }
        // "~temp.dat" gets the list's time and then takes the game file's
        // place by a rename: the game file changes content and time in one
        // step, so no moment leaves it looking current with other bytes.
        // When that fails the old file stays as it was, time included.
        SetFileToPatchTime(kTempFile, entry.timeStamp);
        if (!platform::replace_file(kTempFile, entry.path)) {
            WriteLauncherLog("Dosya yazma hatası: %d"_cp1254, platform::last_error());
            Post(WM_PATCH_FAILED, 1, 0);
            platform::delete_file(kTempFile);
            break;
        }

        const platform::WPARAM run = position(bytesDone, bytesTotal);
        ++filesDone;
        Post(WM_PATCH_PROGRESS, run << 16 | 10000,
             static_cast<platform::LPARAM>(filesTotal) << 16 | filesDone);
    }

    if (filesTotal > 0) {
        WriteLauncherLog("Dosyalar download edildi.");
        EnterGameDirectory();
        platform::delete_file(kTempFile);
    }
    {
        boost::mutex::scoped_lock lock(finishedMutex);
        finished = true;
    }
    Post(WM_PATCH_DONE, filesDone, 0);

    if (launcherUpdate && !options.skipPatch) {
        Post(WM_RUN_LAUNCH_HELPER, 0, 0);
        WriteLauncherLog("launcher updated.");
        return;
    }

    EnterGameDirectory();
    const unsigned count = RunServerListStage({options.serverTest, options.serverListUrl}, servers,
                                              serversMutex, stopEvent);
    Post(WM_SERVERLIST_READY, count, 0);
}

unsigned PatchThreadProc(void* parameter) {
    static_cast<PatchDownloader*>(parameter)->Run();
    return 0;
}

boost::thread StartPatchThread(PatchDownloader& downloader) {
    return boost::thread([&downloader] { PatchThreadProc(&downloader); });
}
