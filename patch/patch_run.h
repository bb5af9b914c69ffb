// One patch run on the worker thread, phase by phase: the list taken, the
// files checked, the launcher's own update chosen, the plan (what each due
// file takes, the size limit), the downloads, their end, and either the
// hand-over to the self-update or the server list. Each phase returns what
// the next one takes; everything the player is to know goes to the report.
#pragma once

#include <list>
#include <memory>
#include <optional>
#include <string>

#include "patch/download_plan.h"
#include "patch/mirror_set.h"
#include "patch/patch_options.h"
#include "patch/run_progress.h"
#include "patch/run_report.h"
#include "patch/signed_run.h"
#include "patch/update_list.h"
#include "platform/event.h"
#include "platform/file.h"

namespace talvo::utility {
class multi_curl;
}  // namespace talvo::utility
class AttributeSurvey;

class PatchRun {
public:
    // `options`, `report` and `stop` outlive the run.
    PatchRun(const PatchOptions& options, RunReport& report,
             const platform::ManualResetEvent& stop);
    ~PatchRun();
    PatchRun(const PatchRun&) = delete;
    PatchRun& operator=(const PatchRun&) = delete;

    // The whole run, up to one of its ends.
    void Run();
    // Marks the entries whose local file differs (in the verify-all mode
    // also by its bytes), with the lookups of `survey` where there is one;
    // counts the files and bytes due and makes the directories of the
    // marked ones. Ends early once a stop is asked for.
    void CheckFiles(std::list<UpdateListEntry>& entries, AttributeSurvey* survey = nullptr);
    // Once the run has ended: every file due was put in place.
    bool AllDueFilesDone() const { return progress_.FilesDone() == progress_.FilesTotal(); }

private:
    // The update list as taken: its base URL, its entries, and the lookups
    // of their files begun as it arrived.
    struct TakenList {
        std::string baseUrl;
        std::list<UpdateListEntry> entries;
        std::unique_ptr<AttributeSurvey> survey;  // after the entries it holds
    };
    // One attempt at the list: the list, or why not (a check's refusal or
    // libcurl's text).
    struct ListAttempt {
        std::optional<TakenList> list;
        std::string refused;
        std::string error;
    };
    // How the downloads ended: whether the run goes on, and whether
    // "_launcher.dll" came.
    struct Downloaded {
        bool goOn = false;
        bool launcherPlaced = false;
    };

    void LogRefusedOptions() const;
    std::optional<TakenList> FetchList();
    // From the site at `listUrl`.
    ListAttempt TakeList(bool fresh, const std::string& listUrl);
    // The mirrors of the release just taken from `site`, fetched and
    // checked; those kept in base/ when they cannot be (and the release
    // names the same list).
    std::vector<std::string> TakeMirrors(const std::string& site);
    bool SelectLauncherUpdate(std::list<UpdateListEntry>& entries);
    // The plan of the downloads; none when the run stopped while planning.
    std::optional<DownloadPlan> Plan(const TakenList& list, talvo::utility::multi_curl& transfers);
    bool WithinSizeLimit();
    Downloaded Download(const TakenList& list);
    void SaveInstalledHashes();
    void FinishDownloads();
    void FetchServers();
    void EnterGameDirectory() const;

    const PatchOptions& options_;
    RunReport& report_;
    const platform::ManualResetEvent& stop_;
    const platform::WorkingDirectory gameDirectory_;
    RunProgress progress_;
    SignedRun signed_;
    // The hosts of the run, once the list is taken.
    std::unique_ptr<MirrorSet> hosts_;
    // The list's entries once the downloads are over, gone with the object
    // (not freed one by one on the way to the server list).
    std::list<UpdateListEntry> passedOver_;
};
