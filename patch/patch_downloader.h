// PatchDownloader: one patch run (patch_run.h) on a worker thread of its
// own. It fetches the update list, downloads the files that differ (several
// at a time, each through a scratch file named from "~temp.dat";
// download_executor.h), gives each its list time, tells its report what
// happens (run_report.h) and finally fetches the game-server list, or hands
// over to the launcher's self-update. With trusted keys it takes only a
// signed site and only files with the signed bytes (signed_release.h), and
// fetches of a file with a chunk index on the site only what its old copy
// lacks (download_plan.h).
//
// The window's side, all from its own thread:
//   PatchDownloader(report, options)       - the run, not yet started
//   Start()                                - the worker thread runs it, once
//   GetStatusText()                        - the file shown (ShowFile)
//   IsFinished()                           - true once the download phase has ended (Done)
//   GetServers()                           - the server list (ServersReady)
//   Stop()                                 - asks the run to end and waits for its thread
// Destruction is safe in every state: a run never started is simply gone, a
// running one is asked to stop and its thread joined.
#pragma once

#include <chrono>
#include <list>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "patch/patch_options.h"
#include "patch/patch_run.h"
#include "patch/run_report.h"
#include "patch/update_list.h"
#include "platform/event.h"
#include "servers/server_list.h"

class PatchDownloader : private RunReport {
public:
    // `report` is told what happens, from the worker thread; `options`: the
    // configuration the run reads, the update list's URL among it
    // (patch_options.h).
    PatchDownloader(RunReport* report, PatchOptions options);
    ~PatchDownloader() override;
    PatchDownloader(const PatchDownloader&) = delete;
    PatchDownloader& operator=(const PatchDownloader&) = delete;

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
    // Once the run has ended: every file due was put in place.
    bool AllDueFilesDone() const { return run.AllDueFilesDone(); }

    // Marks the entries whose local file differs (patch_run.h), outside a
    // run.
    void CheckFiles(std::list<UpdateListEntry>& entries) { run.CheckFiles(entries); }

private:
    // What the run reports: the values the accessors read are kept, each
    // under its own lock, before the report is passed on.
    void ShowFile(const std::string& path) override;
    void Progress(const ProgressReport& progress) override { report->Progress(progress); }
    void Speed(const SpeedReport& speed) override { report->Speed(speed); }
    void Done(std::uint16_t filesDone) override;
    void Failed(const FailureReport& failure) override { report->Failed(failure); }
    void ServersReady(const std::vector<ServerEntry>& list, unsigned count) override;
    void Notify(const Notice& notice) override { report->Notify(notice); }
    void TooMuchToDownload() override { report->TooMuchToDownload(); }
    void HandOver() override { report->HandOver(); }

    RunReport* const report;
    const PatchOptions options;
    platform::ManualResetEvent stopEvent;
    platform::ManualResetEvent doneEvent;
    std::mutex statusMutex;
    std::string statusText;
    std::mutex serversMutex;
    std::vector<ServerEntry> servers;
    std::mutex finishedMutex;
    bool finished = false;
    PatchRun run;
    // A plain thread: the run ends on stopEvent, never by interruption.
    std::thread worker;
};
