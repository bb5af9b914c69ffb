// The patch run, phase by phase: the list, the plan (check, the launcher's
// own update, what each due file takes, the size limit), the files, the end
// of the downloads, and either the hand-over to the self-update or the
// server list.
#include "log/launcher_log.h"
#include "net/fetch_url.h"
#include "net/multi_curl.h"
#include "patch/attribute_survey.h"
#include "patch/download_executor.h"
#include "patch/patch_downloader.h"
#include "patch/self_update.h"
#include "platform/codepage.h"
#include "platform/cp1254_literal.h"
#include "platform/last_error.h"
#include "platform/system_info.h"

using namespace platform::literals;

namespace {

// A longer reply is no update list (the most files a list may name take
// less than half of it).
constexpr std::uint64_t kMaxUpdateListBytes = 32 << 20;

}  // namespace

void PatchDownloader::Run() {
    RunPhases();
    doneEvent.set();
}

void PatchDownloader::RunPhases() {
    EnterGameDirectory();
    if (!options.refusedLimitRate.empty()) {
        WriteLauncherLog("Hız sınırı okunamadı, yok sayıldı: -%s"_cp1254,
                         options.refusedLimitRate.c_str());
    }
    if (!options.refusedMaxTransfers.empty()) {
        WriteLauncherLog("Eşzamanlı indirme sayısı okunamadı, yok sayıldı: -%s"_cp1254,
                         options.refusedMaxTransfers.c_str());
    }
    std::string baseUrl;
    std::list<UpdateListEntry> entries;
    std::unique_ptr<AttributeSurvey> survey;  // goes before the entries it holds
    if (!FetchList(baseUrl, entries, survey)) return;
    CheckFiles(entries, survey.get());
    survey.reset();
    if (stopEvent.is_set()) return;
    const bool launcherUpdate = SelectLauncherUpdate(entries);
    bool launcherPlaced = false;
    const bool goOn = DownloadFiles(baseUrl, entries, launcherPlaced);
    passedOver.splice(passedOver.end(), entries);
    // Before a hand-over, which ends the process.
    if (options.signedOnly && !installed_.Save()) {
        LogRefusal(std::string(kInstalledHashes) +
                   " could not be written: " + platform::error_text(platform::last_error()));
    }
    // A stopped run ends where it stopped: it says nothing of files that
    // did not come, nor asks for the servers.
    if (!goOn || stopEvent.is_set()) return;
    FinishDownloads();
    if (launcherUpdate && !options.skipPatch) {
        // A launcher that is not the signed one is never handed over: the
        // player goes on with the one that runs.
        if (!options.signedOnly || launcherPlaced) return HandOver();
        LogRefusal("_launcher.dll did not come with its signed bytes: no hand-over");
    }
    FetchServers();
}

// A signed site is checked before its list is read, and kept in base/ once
// every check has passed. A cache on the way may hold the list, manifest or
// signature of another release than the others: a refusal asks once more,
// every cache asked for fresh copies.
bool PatchDownloader::FetchList(std::string& baseUrl, std::list<UpdateListEntry>& entries,
                                std::unique_ptr<AttributeSurvey>& survey) {
    std::string refused, error;
    for (const bool fresh : {false, true}) {
        refused.clear();
        if (TakeList(fresh, baseUrl, entries, survey, refused, error)) return true;
        survey.reset();  // before the entries it holds go
        entries.clear();
        // A stop is no failure: the run just ends.
        if (stopEvent.is_set()) return false;
        if (refused.empty()) break;  // the list itself could not be had
    }
    SetTransferError(refused.empty() ? error : refused);
    WriteLauncherLog("download listesi hatalı !"_cp1254);
    // Why, on the line after: libcurl's text of a transfer that failed (a
    // certificate for another host, an unknown authority, an error status).
    if (!refused.empty()) {
        LogRefusal(refused);
    } else if (!error.empty()) {
        WriteLauncherLog("aktarım hatası: %s"_cp1254, error.c_str());
    }
    Post(WM_PATCH_FAILED, 2, 0);
    return false;
}

bool PatchDownloader::TakeList(bool fresh, std::string& baseUrl,
                               std::list<UpdateListEntry>& entries,
                               std::unique_ptr<AttributeSurvey>& survey, std::string& refused,
                               std::string& error) {
    talvo::utility::fetch_url list(options.updateListUrl);
    PrepareFetch(list);
    list.transfer.set_no_cache(fresh);
    list.set_max_size(kMaxUpdateListBytes);
    // An unsigned list is read as it arrives, and its files looked up
    // meanwhile; none of its bytes are kept. A signed site's release is
    // checked before its list is fetched, and the list read, and its files
    // looked up (by the check), only once its bytes are the signed ones.
    if (options.signedOnly && !FetchSignedRelease(fresh, refused)) return false;
    if (!options.signedOnly) survey = std::make_unique<AttributeSurvey>();
    UpdateListReader reader(options.testLauncher, entries, [&survey](const UpdateListEntry& entry) {
        if (survey) survey->Add(&entry);
    });
    talvo::utility::body_limit limit(kMaxUpdateListBytes);
    bool overlong = false;
    if (!options.signedOnly) {
        list.transfer.write_function = [&](char* data, std::size_t size, std::size_t count,
                                           void*) -> std::size_t {
            const std::size_t bytes = size * count;
            overlong = !limit.take(bytes);
            return !overlong && reader.Feed(std::string_view(data, bytes)) ? bytes : 0;
        };
    }
    std::string body = list.fetch();
    if (survey) survey->Close();
    // Refused for its size, not for a failed write as libcurl has it.
    error = overlong ? limit.refusal() : list.error();
    const bool read = !stopEvent.is_set() && error.empty() &&
                      (!options.signedOnly || (signedRelease.TakeList(std::move(body), refused) &&
                                               reader.Feed(signedRelease.List())));
    if (refused.empty()) refused = reader.Fault();
    const bool taken = read && reader.Finish(baseUrl) &&
                       (!options.signedOnly || signedRelease.Covers(baseUrl, entries, refused));
    if (!taken || stopEvent.is_set()) return false;
    if (options.signedOnly && !signedRelease.Keep()) {
        LogRefusal("the release could not be kept in base: " +
                   platform::error_text(platform::last_error()));
    }
    return true;
}

// A new launcher comes first and alone; the rest waits for the run after the
// update. The other entries' marks, and the directories the check made for
// them, stay as they are.
bool PatchDownloader::SelectLauncherUpdate(std::list<UpdateListEntry>& entries) {
    for (const UpdateListEntry& entry : entries) {
        if (entry.path == kLauncherFile && entry.needsDownload) {
            progress.SetDue(1, entry.size);
            const UpdateListEntry launcher = entry;
            entries.assign(1, launcher);
            return true;
        }
    }
    return false;
}

bool PatchDownloader::WithinSizeLimit() {
    if (progress.WithinLimit()) return true;
    if (stopEvent.is_set()) return false;  // no box once the window closes
    const std::u16string text =
        platform::cp1254_to_utf16("Güncellenecek çok fazla dosya var.\n"_cp1254) +
        platform::utf8_to_utf16(options.webSite) +
        platform::cp1254_to_utf16(" adresinden oyunun en son sürümünü indirip kurunuz."_cp1254);
    window->MessageBox(text, u"Bilgi", platform::MB_OK | platform::MB_ICONINFORMATION,
                       platform::BoxOwner::Window);
    Post(WM_PATCH_QUIT, 0, 0);
    return false;
}

bool PatchDownloader::DownloadFiles(const std::string& baseUrl,
                                    const std::list<UpdateListEntry>& entries,
                                    bool& launcherPlaced) {
    talvo::utility::multi_curl transfers(options.maxTransfers);
    transfers.set_limit_rate(options.limitRate);
    DownloadPlan plan;
    if (!options.skipPatch) {
        // Signed sites: the indexes fetched and the old copies read, so that
        // the size limit counts what will be fetched.
        if (!PlanDownloads(baseUrl, entries, options, signedRelease, stopEvent, transfers, plan)) {
            return false;
        }
        transfers.take_received();  // the indexes are not the files' bytes
        double bytes = 0;
        for (const PlannedFile& file : plan) bytes += static_cast<double>(file.FetchBytes());
        progress.SetDue(progress.FilesTotal(), bytes);
    }
    if (!WithinSizeLimit()) return false;
    if (progress.FilesTotal() > 0) {
        WriteLauncherLog("%d adet dosya download edilecek...", progress.FilesTotal());
    }
    EnterGameDirectory();
    DownloadContext context{window,
                            options,
                            progress,
                            stopEvent,
                            [this](const std::string& error) { SetTransferError(error); },
                            options.signedOnly ? &installed_ : nullptr};
    const DownloadOutcome outcome = RunDownloads(
        plan, context, transfers, [this](const std::string& path) { SetStatusText(path); });
    launcherPlaced = outcome.launcherPlaced;
    // A fallback to a whole file took the run past the limit.
    if (outcome.tooMuch) return WithinSizeLimit();
    return !outcome.noScratch;
}

void PatchDownloader::FinishDownloads() {
    // The scratch files are cleaned by the downloads themselves.
    if (progress.FilesTotal() > 0) WriteLauncherLog("Dosyalar download edildi.");
    {
        boost::mutex::scoped_lock lock(finishedMutex);
        finished = true;
    }
    Post(WM_PATCH_DONE, progress.FilesDone(), 0);
}

void PatchDownloader::HandOver() {
    Post(WM_RUN_LAUNCH_HELPER, 0, 0);
    WriteLauncherLog("launcher updated.");
}

void PatchDownloader::FetchServers() {
    EnterGameDirectory();
    ServerListSource source;
    source.serverTest = options.serverTest;
    source.url = options.serverListUrl;
    source.caFile = options.caFile;
    if (options.signedOnly) {
        source.check = [this](const std::string& text, const std::string& signature) {
            std::string why;
            if (trust::VerifyServerList(options.trustedKeys, text, signature, options.unixTime(),
                                        why)) {
                return true;
            }
            LogRefusal("server list: " + why);
            return false;
        };
    }
    const unsigned count = RunServerListStage(source, servers, serversMutex, stopEvent);
    if (!stopEvent.is_set()) Post(WM_SERVERLIST_READY, count, 0);
}
