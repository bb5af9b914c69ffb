// PatchDownloader: one patch run on the worker thread. It fetches the
// update list, downloads the files that differ through "~temp.dat", gives
// each its list time, reports to its window by posted messages (messages.h)
// and finally fetches the game-server list, or hands over to the launcher's
// self-update.
//
// The window's side, all from its own thread:
//   PatchDownloader(window, url, options)  - creates the run, not yet started
//   StartPatchThread(downloader)           - one worker thread running Run once
//   GetStatusText()                        - the file being downloaded (WM_PATCH_PROGRESS)
//   IsFinished()                           - true once the download phase has ended
//   GetServers()                           - the server list (WM_SERVERLIST_READY)
//   Stop()                                 - asks the run to end and waits for it
//   DescribePatchProgress/DescribePatchSpeed (progress_text.h) - texts of the progress messages
#pragma once

#include <boost/function.hpp>
#include <boost/noncopyable.hpp>
#include <boost/thread/mutex.hpp>
#include <boost/thread/thread.hpp>
#include <cstdint>
#include <list>
#include <string>
#include <vector>

#include "patch/messages.h"
#include "patch/update_list.h"
#include "platform/event.h"
#include "platform/file.h"
#include "platform/message_target.h"
#include "servers/server_list.h"

// What the run needs besides its window and the update list's URL.
struct PatchOptions {
    bool skipPatch = false;     // compare and report, download nothing
    bool testLauncher = false;  // leave the launcher's own file out of the run
    bool serverTest = false;    // the server list from "serverlist.txt"
    // The game directory in the file system's bytes; made current before
    // every group of file operations. Empty: the current directory as it is.
    std::string gameDir;
    std::string serverListUrl;
    // The web-site address named in the too-much-to-download box.
    std::string webSite;
    // Milliseconds, wrapping at 2^32; by default since the process started.
    boost::function<std::uint32_t()> clock;

    PatchOptions();
};

// More than this many bytes to download: the player is told to reinstall.
inline constexpr double kMaxDownloadBytes = 70.0 * 1024 * 1024;

class PatchDownloader : boost::noncopyable {
public:
    PatchDownloader(platform::MessageTarget* window, const std::string& updateListUrl,
                    PatchOptions options = PatchOptions());
    // Stops the run and waits for it.
    virtual ~PatchDownloader();

    // The run; on the worker thread, once.
    void Run();
    // Signals stopEvent and waits, without limit, until the run has ended.
    // The run then cuts short what it is doing within about a second.
    void Stop();

    bool IsFinished();
    std::string GetStatusText();
    void SetStatusText(const std::string& text);
    std::vector<ServerEntry> GetServers();

    // Marks the entries whose local file differs; counts filesTotal and
    // bytesTotal and makes the directories of the marked ones.
    void CheckFiles(std::list<UpdateListEntry>& entries);
    // The transfer's write slot: appends to the file `user` points to.
    std::uint32_t OnWrite(char* data, std::size_t size, std::size_t count, void* user);
    // The transfer's progress slot: counts bytes, posts progress and speed
    // at most once a second each, aborts once stopEvent is set.
    int OnProgress(double dltotal, double dlnow, double ultotal, double ulnow);

    platform::MessageTarget* const window;
    platform::ManualResetEvent stopEvent;
    platform::ManualResetEvent doneEvent;
    const std::string updateListUrl;
    boost::mutex statusMutex;
    boost::mutex serversMutex;
    std::string statusText;
    std::uint16_t filesTotal = 0;
    std::uint16_t filesDone = 0;
    std::uint32_t lastProgressTick = 0;
    double lastProgressBytes = 0.0;
    std::uint32_t lastSpeedTick = 0;
    double lastSpeedBytes = 0.0;
    double bytesTotal = 0.0;
    double bytesDone = 0.0;
    bool finished = false;
    std::vector<ServerEntry> servers;
    boost::mutex finishedMutex;
    const PatchOptions options;

private:
    // Run up to one of its ends; Run signals doneEvent after it, when
    // nothing of the run is left to touch the object.
    void RunPhases();
    void EnterGameDirectory() const;
    void Post(platform::UINT message, platform::WPARAM wParam, platform::LPARAM lParam);

    const platform::WorkingDirectory gameDirectory_;
};

// The worker thread's entry: runs `parameter` (a PatchDownloader) and
// answers 0.
unsigned PatchThreadProc(void* parameter);

// Starts the one worker thread of `downloader`; it runs Run once.
boost::thread StartPatchThread(PatchDownloader& downloader);
