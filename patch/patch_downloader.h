// PatchDownloader: one patch run on a worker thread of its own. It fetches
// the update list, downloads the files that differ (several at a time, each
// through a scratch file named from "~temp.dat"; download_executor.h),
// gives each its list time, reports to its window by posted messages
// (messages.h) and finally fetches the game-server list, or hands over to
// the launcher's self-update. With trusted keys it takes only a signed site
// and only files with the signed bytes (signed_release.h), and fetches of a
// file with a chunk index on the site only what its old copy lacks
// (download_plan.h).
//
// The window's side, all from its own thread:
//   PatchDownloader(window, options)       - the run, not yet started
//   Start()                                - the worker thread runs it, once
//   GetStatusText()                        - the file being downloaded (WM_PATCH_PROGRESS)
//   IsFinished()                           - true once the download phase has ended
//   GetServers()                           - the server list (WM_SERVERLIST_READY)
//   Stop()                                 - asks the run to end and waits for its thread
//   DescribePatchProgress/DescribePatchSpeed (window/texts.h) - texts of the progress messages
// Destruction is safe in every state: a run never started is simply gone, a
// running one is asked to stop and its thread joined.
#pragma once

#include <boost/noncopyable.hpp>
#include <boost/thread/mutex.hpp>
#include <boost/thread/thread.hpp>
#include <chrono>
#include <cstdint>
#include <list>
#include <memory>
#include <string>
#include <vector>

#include "patch/installed_hashes.h"
#include "patch/messages.h"
#include "patch/patch_options.h"
#include "patch/run_progress.h"
#include "patch/signed_release.h"
#include "patch/update_list.h"
#include "platform/event.h"
#include "platform/file.h"
#include "platform/message_target.h"
#include "servers/server_list.h"

namespace talvo::utility {
class fetch_url;
}  // namespace talvo::utility
class AttributeSurvey;

class PatchDownloader : boost::noncopyable {
public:
    // `options`: the configuration the run reads, the update list's URL
    // among it (patch_options.h).
    PatchDownloader(platform::MessageTarget* window, PatchOptions options);
    virtual ~PatchDownloader();

    // Starts the run on the object's worker thread. Once.
    void Start();
    // Signals stopEvent and returns: the run cuts short what it is doing
    // within about a second.
    void RequestStop();
    // True once the run has ended (doneEvent), waiting at most `limit`.
    bool WaitForEnd(std::chrono::milliseconds limit) const;
    // RequestStop, then waits without limit until the worker has ended.
    void Stop();
    // RequestStop, then waits at most `limit`: true when the worker has
    // ended (or never started), false when it is still running.
    bool Stop(std::chrono::milliseconds limit);

    bool IsFinished();
    std::string GetStatusText();
    void SetStatusText(const std::string& text);
    std::vector<ServerEntry> GetServers();
    // libcurl's text for the last transfer that failed in this run (the
    // update list or a file), or the check of a signed site that refused
    // the list or a file; "" when none did.
    std::string GetTransferError();
    // Once the run has ended: every file due was put in place.
    bool AllDueFilesDone() const;

    // Marks the entries whose local file differs (in the verify-all mode
    // also by its bytes); counts the files and bytes due and makes the
    // directories of the marked ones. Ends early once a stop is asked for.
    void CheckFiles(std::list<UpdateListEntry>& entries) { CheckFiles(entries, nullptr); }

private:
    // The run (patch_run.cpp), up to one of its ends; Run signals doneEvent
    // after it, when nothing of the run is left to touch the object.
    void Run();
    void RunPhases();
    // The list, read as it arrives; its files looked up meanwhile (`survey`).
    bool FetchList(std::string& baseUrl, std::list<UpdateListEntry>& entries,
                   std::unique_ptr<AttributeSurvey>& survey);
    // One attempt (`fresh`: every cache asked for fresh copies). False with
    // the check that refused the list in `refused`, or libcurl's text in
    // `error`.
    bool TakeList(bool fresh, std::string& baseUrl, std::list<UpdateListEntry>& entries,
                  std::unique_ptr<AttributeSurvey>& survey, std::string& refused,
                  std::string& error);
    // With the lookups of `survey` where there is one.
    void CheckFiles(std::list<UpdateListEntry>& entries, AttributeSurvey* survey);
    // A signed site (signed_run.cpp): fetches the manifest and the signature
    // beside the list and checks them, before the list is fetched.
    bool FetchSignedRelease(bool fresh, std::string& refused);
    // In the verify-all mode, a file that looks current is hashed too.
    bool BytesDiffer(const UpdateListEntry& entry);
    // On a signed site, a file that looks current whose signed hash is not
    // the one it was installed with (installed_hashes.h).
    bool HashChanged(const UpdateListEntry& entry);
    // What every fetch of the run shares: the stop, the stall and speed
    // limits, the authorities.
    void PrepareFetch(talvo::utility::fetch_url& fetch);
    bool SelectLauncherUpdate(std::list<UpdateListEntry>& entries);
    bool WithinSizeLimit();
    // The plan and its run; false when the run ends there (stopped while
    // planning, or no scratch file). `launcherPlaced`: "_launcher.dll" came.
    bool DownloadFiles(const std::string& baseUrl, const std::list<UpdateListEntry>& entries,
                       bool& launcherPlaced);
    void FinishDownloads();
    void HandOver();
    void FetchServers();

    void EnterGameDirectory() const;
    void Post(platform::UINT message, platform::WPARAM wParam, platform::LPARAM lParam);
    void SetTransferError(const std::string& text);

    platform::MessageTarget* const window;
    platform::ManualResetEvent stopEvent;
    platform::ManualResetEvent doneEvent;
    boost::mutex statusMutex;
    boost::mutex serversMutex;
    std::string statusText;
    RunProgress progress;
    bool finished = false;
    std::vector<ServerEntry> servers;
    boost::mutex finishedMutex;
    const PatchOptions options;
    const platform::WorkingDirectory gameDirectory;
    boost::mutex errorMutex;
    std::string transferError;
    SignedRelease signedRelease;
    // On a signed site: the hash each file was installed with, kept in base/.
    InstalledHashes installed_;
    // The list's entries once the downloads are over, gone with the object
    // (not freed one by one on the way to the server list).
    std::list<UpdateListEntry> passedOver;
    boost::thread worker;
};
