#include "patch/patch_run.h"

#include "log/launcher_log.h"
#include "net/fetch_url.h"
#include "net/multi_curl.h"
#include "patch/attribute_survey.h"
#include "patch/download_executor.h"
#include "patch/file_checks.h"
#include "patch/mirror_list.h"
#include "patch/self_update.h"
#include "platform/codepage.h"
#include "platform/cp1254_literal.h"
#include "platform/last_error.h"
#include "platform/system_info.h"
#include "trust/sha256.h"

using namespace platform::literals;

namespace {

// A longer reply is no update list (the most files a list may name take
// less than half of it).
constexpr std::uint64_t kMaxUpdateListBytes = 32 << 20;

}  // namespace

PatchRun::PatchRun(const PatchOptions& options, RunReport& report,
                   const platform::ManualResetEvent& stop)
    : options_(options),
      report_(report),
      stop_(stop),
      gameDirectory_(options.gameDir),
      progress_(report, options.clock),
      signed_(options, stop) {
    progress_.SetLimitRate(options.limitRate);
}

PatchRun::~PatchRun() = default;

void PatchRun::Run() {
    EnterGameDirectory();
    LogRefusedOptions();
    std::optional<TakenList> list = FetchList();
    if (!list) return;
    CheckFiles(list->entries, list->survey.get());
    list->survey.reset();
    if (stop_.is_set()) return;
    const bool launcherUpdate = SelectLauncherUpdate(list->entries);
    const Downloaded downloaded = Download(*list);
    passedOver_.splice(passedOver_.end(), list->entries);
    SaveInstalledHashes();  // before a hand-over, which ends the process
    // A stopped run ends where it stopped: it says nothing of files that
    // did not come, nor asks for the servers.
    if (!downloaded.goOn || stop_.is_set()) return;
    FinishDownloads();
    if (launcherUpdate && !options_.skipPatch) {
        // A launcher that is not the signed one is never handed over: the
        // player goes on with the one that runs.
        if (!options_.signedOnly || downloaded.launcherPlaced) {
            report_.HandOver();
            WriteLauncherLog("launcher updated.");
            return;
        }
        LogRefusal("_launcher.dll did not come with its signed bytes: no hand-over");
    }
    FetchServers();
}

void PatchRun::LogRefusedOptions() const {
    if (!options_.refusedLimitRate.empty()) {
        WriteLauncherLog("Hız sınırı okunamadı, yok sayıldı: -%s"_cp1254,
                         options_.refusedLimitRate.c_str());
    }
    if (!options_.refusedMaxTransfers.empty()) {
        WriteLauncherLog("Eşzamanlı indirme sayısı okunamadı, yok sayıldı: -%s"_cp1254,
                         options_.refusedMaxTransfers.c_str());
    }
}

// A signed site is checked before its list is read, and kept in base/ once
// every check has passed. A cache on the way may hold the list, manifest or
// signature of another release than the others: a refusal (not a transfer
// that failed, which fresh copies would not mend) asks once more,
// every cache asked for fresh copies. When the primary cannot give it, the
// further hosts compiled in are asked, then the mirrors of the release kept
// in base/; the checks are the same whichever answers, and what the primary
// said is what the player is told when none can.
std::optional<PatchRun::TakenList> PatchRun::FetchList() {
    std::vector<std::string> sites = {OriginOf(options_.updateListUrl)};
    if (!sites.front().empty()) {
        sites.insert(sites.end(), options_.moreHosts.begin(), options_.moreHosts.end());
    }
    const std::size_t compiled = sites.size();
    ListAttempt attempt, primary;
    for (std::size_t i = 0; i < sites.size(); ++i) {
        const std::string url =
            i == 0 ? options_.updateListUrl : OnSite(sites[i], options_.updateListUrl);
        for (const bool fresh : {false, true}) {
            attempt = TakeList(fresh, url);
            if (attempt.list) {
                std::vector<std::string> mirrors = TakeMirrors(sites[i]);
                mirrors.insert(mirrors.begin(), sites.begin(),
                               sites.begin() + static_cast<std::ptrdiff_t>(compiled));
                // The first host is where the list's base URL lies.
                const std::string files = OriginOf(attempt.list->baseUrl);
                if (!files.empty()) mirrors.front() = files;
                hosts_ = std::make_unique<MirrorSet>(mirrors, options_.served);
                if (options_.served) options_.served(url, 0);
                // The hosts that could not give the list have failed once.
                for (std::size_t j = 0; j < hosts_->size(); ++j) {
                    const auto end = sites.begin() + static_cast<std::ptrdiff_t>(i);
                    if (std::find(sites.begin(), end, hosts_->host(j).site) != end) {
                        hosts_->Failed(j, "update list");
                    }
                }
                return std::move(attempt.list);
            }
            // A stop is no failure: the run just ends.
            if (stop_.is_set()) return std::nullopt;
            if (attempt.refused.empty()) break;  // the list itself could not be had
        }
        if (i == 0) primary = std::move(attempt);
        // The kept release's mirrors are read only once the compiled-in
        // hosts have all failed.
        if (i + 1 == compiled && options_.signedOnly && !sites.front().empty()) {
            const std::vector<std::string> kept = KeptMirrors(options_.trustedKeys);
            sites.insert(sites.end(), kept.begin(), kept.end());
        }
    }
    attempt = std::move(primary);
    const std::string& why = attempt.refused.empty() ? attempt.error : attempt.refused;
    WriteLauncherLog("download listesi hatalı !"_cp1254);
    // Why, on the line after: libcurl's text of a transfer that failed (a
    // certificate for another host, an unknown authority, an error status).
    if (!attempt.refused.empty()) {
        LogRefusal(attempt.refused);
    } else if (!attempt.error.empty()) {
        WriteLauncherLog("aktarım hatası: %s"_cp1254, attempt.error.c_str());
    }
    report_.Failed({FailureKind::UpdateList, 0, why});
    return std::nullopt;
}

// An unsigned list is read as it arrives, and its files looked up
// meanwhile; none of its bytes are kept. A signed site's release is checked
// before its list is fetched, and the list read, and its files looked up
// (by the check), only once its bytes are the signed ones.
PatchRun::ListAttempt PatchRun::TakeList(bool fresh, const std::string& listUrl) {
    ListAttempt attempt;
    if (options_.signedOnly) {
        attempt.refused = signed_.FetchRelease(fresh, listUrl, attempt.error);
        if (!attempt.refused.empty() || !attempt.error.empty()) return attempt;
    }
    talvo::utility::fetch_url fetch(listUrl);
    PrepareFetch(fetch, options_, stop_);
    fetch.transfer.set_no_cache(fresh);
    fetch.set_max_size(kMaxUpdateListBytes);
    TakenList list;
    if (!options_.signedOnly) list.survey = std::make_unique<AttributeSurvey>();
    UpdateListReader reader(options_.testLauncher, list.entries,
                            [&list](const UpdateListEntry& entry) {
                                if (list.survey) list.survey->Add(&entry);
                            });
    talvo::utility::body_limit limit(kMaxUpdateListBytes);
    bool overlong = false;
    if (!options_.signedOnly) {
        fetch.transfer.write_function = [&](char* data, std::size_t size, std::size_t count,
                                            void*) -> std::size_t {
            const std::size_t bytes = size * count;
            overlong = !limit.take(bytes);
            return !overlong && reader.Feed(std::string_view(data, bytes)) ? bytes : 0;
        };
    }
    std::string body = fetch.fetch();
    if (list.survey) list.survey->Close();
    // Refused for its size, not for a failed write as libcurl has it.
    attempt.error = overlong ? limit.refusal() : fetch.error();
    SignedRelease& release = signed_.release();
    const bool read =
        !stop_.is_set() && attempt.error.empty() &&
        (!options_.signedOnly ||
         (release.TakeList(std::move(body), attempt.refused) && reader.Feed(release.List())));
    if (attempt.refused.empty()) attempt.refused = reader.Fault();
    const bool taken =
        read && reader.Finish(list.baseUrl) &&
        (!options_.signedOnly || release.Covers(list.baseUrl, list.entries, attempt.refused));
    if (!taken || stop_.is_set()) return attempt;
    if (options_.signedOnly && !release.Keep()) {
        LogRefusal("the release could not be kept in base: " +
                   platform::error_text(platform::last_error()));
    }
    attempt.list = std::move(list);
    return attempt;
}

std::vector<std::string> PatchRun::TakeMirrors(const std::string& site) {
    if (!options_.signedOnly) return {};
    const trust::Sha256Digest* listed = signed_.release().Listed(kMirrorListPath);
    if (listed == nullptr) {
        platform::delete_file(kKeptMirrors);  // the release names none
        return {};
    }
    talvo::utility::fetch_url fetch(site + "/" + kMirrorListPath);
    PrepareFetch(fetch, options_, stop_);
    fetch.set_max_size(kMaxMirrors * (kMaxMirrorUrlBytes + 1));
    const std::string text = fetch.fetch();
    std::vector<std::string> mirrors;
    std::string error = fetch.error();
    if (error.empty() && trust::Sha256Of(text) != *listed) error = "not the signed bytes";
    if (error.empty() && ParseMirrorList(text, mirrors, error)) {
        if (!platform::write_file_whole(kKeptMirrors, text)) {
            LogRefusal(std::string(kKeptMirrors) + " could not be written");
        }
        return mirrors;
    }
    LogRefusal(std::string(kMirrorListPath) + ": " + error);
    return KeptMirrors(options_.trustedKeys);
}

void PatchRun::CheckFiles(std::list<UpdateListEntry>& entries, AttributeSurvey* given) {
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
    if (options_.signedOnly) signed_.installed().Load();
    bool madeDirectories = false;
    std::size_t i = 0;
    for (UpdateListEntry& entry : entries) {
        if (stop_.is_set()) break;
        int error = 0;
        bool current = false;
        platform::File file;
        const bool surveyed = survey->Take(i++, file, error, current);
        if (surveyed && current) {
            // There, with the list's size and time (and, verifying all, bytes).
            if (!signed_.BytesDiffer(entry) && !signed_.HashChanged(entry)) continue;
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
            if (exists && !timeDiffers && !sizeDiffers && !signed_.BytesDiffer(entry) &&
                !signed_.HashChanged(entry)) {
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
        progress_.CountDue(entry.size);
    }
    WriteLauncherLog("--------------------------\n");
}

// A new launcher comes first and alone; the rest waits for the run after the
// update. The other entries' marks, and the directories the check made for
// them, stay as they are.
bool PatchRun::SelectLauncherUpdate(std::list<UpdateListEntry>& entries) {
    for (const UpdateListEntry& entry : entries) {
        if (entry.path == kLauncherFile && entry.needsDownload) {
            progress_.SetDue(1, entry.size);
            const UpdateListEntry launcher = entry;
            entries.assign(1, launcher);
            return true;
        }
    }
    return false;
}

// Signed sites: the indexes fetched and the old copies read, so that the
// size limit counts what will be fetched.
std::optional<DownloadPlan> PatchRun::Plan(const TakenList& list,
                                           talvo::utility::multi_curl& transfers) {
    if (options_.skipPatch) return DownloadPlan();
    std::optional<DownloadPlan> plan = PlanDownloads(
        PlanContext{list.baseUrl, options_, signed_.release(), stop_, transfers, *hosts_},
        list.entries);
    if (!plan) return std::nullopt;
    transfers.take_received();  // the indexes are not the files' bytes
    double bytes = 0;
    for (const PlannedFile& file : *plan) bytes += static_cast<double>(file.FetchBytes());
    progress_.SetDue(progress_.FilesTotal(), bytes);
    return plan;
}

bool PatchRun::WithinSizeLimit() {
    if (progress_.WithinLimit()) return true;
    if (stop_.is_set()) return false;  // no box once the window closes
    const std::u16string text =
        platform::cp1254_to_utf16("Güncellenecek çok fazla dosya var.\n"_cp1254) +
        platform::utf8_to_utf16(options_.webSite) +
        platform::cp1254_to_utf16(" adresinden oyunun en son sürümünü indirip kurunuz."_cp1254);
    report_.Notify({text, u"Bilgi", platform::BoxIcon::Information, platform::BoxOwner::Window});
    report_.TooMuchToDownload();
    return false;
}

PatchRun::Downloaded PatchRun::Download(const TakenList& list) {
    talvo::utility::multi_curl transfers(options_.maxTransfers);
    transfers.set_limit_rate(options_.limitRate);
    const std::optional<DownloadPlan> plan = Plan(list, transfers);
    if (!plan || !WithinSizeLimit()) return {};
    if (progress_.FilesTotal() > 0) {
        WriteLauncherLog("%d adet dosya download edilecek...", progress_.FilesTotal());
    }
    EnterGameDirectory();
    DownloadContext context{report_,   options_,
                            progress_, stop_,
                            *hosts_,   options_.signedOnly ? &signed_.installed() : nullptr};
    const DownloadOutcome outcome = RunDownloads(*plan, context, transfers);
    // A fallback to a whole file took the run past the limit.
    const bool goOn = outcome.tooMuch ? WithinSizeLimit() : !outcome.noScratch;
    return {goOn, outcome.launcherPlaced};
}

void PatchRun::SaveInstalledHashes() {
    if (options_.signedOnly && !signed_.installed().Save()) {
        LogRefusal(std::string(kInstalledHashes) +
                   " could not be written: " + platform::error_text(platform::last_error()));
    }
}

void PatchRun::FinishDownloads() {
    // The scratch files are cleaned by the downloads themselves.
    if (progress_.FilesTotal() > 0) WriteLauncherLog("Dosyalar download edildi.");
    report_.Done(progress_.FilesDone());
}

void PatchRun::FetchServers() {
    EnterGameDirectory();
    ServerListSource source;
    source.serverTest = options_.serverTest;
    source.url = options_.serverListUrl;
    source.caFile = options_.caFile;
    if (options_.signedOnly) {
        source.check = [this](const std::string& text, const std::string& signature) {
            std::string why;
            if (trust::VerifyServerList(options_.trustedKeys, text, signature, options_.unixTime(),
                                        why)) {
                return true;
            }
            LogRefusal("server list: " + why);
            return false;
        };
    }
    std::vector<ServerEntry> servers;
    const unsigned count = RunServerListStage(source, servers, stop_);
    if (!stop_.is_set()) report_.ServersReady(servers, count);
}

void PatchRun::EnterGameDirectory() const {
    if (!options_.gameDir.empty()) gameDirectory_.enter();
}
