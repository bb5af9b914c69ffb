// The launcher's only window as every toolkit shares it: its initialisation
// in the fixed order, its states and what each of the worker's messages does
// to its texts, bars, list and buttons, the clicks, the close in every
// phase, the game start and the hand-over to launch_helper.exe.
//
// A toolkit's window derives from it and only draws and delivers: it
// implements the operations under "The toolkit's part" on its own controls
// (placed from window/controls.h) and hands every click to OnCommand and
// every posted message to OnUserMessage, on the window's thread.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "patch/patch_downloader.h"
#include "patch/patch_options.h"
#include "platform/win32_event.h"
#include "servers/server_list.h"
#include "settings/preferences_store.h"
#include "window/window_messages.h"

class PatcherWindow {
public:
    enum class Phase {
        Initialising,       // until OnInitDialog has started the run
        Patching,           // progress as it arrives; a failure keeps the window here
        WaitingForServers,  // WM_PATCH_DONE: OYNA and the empty list shown
        Ready,              // WM_SERVERLIST_READY: the servers listed
        Closing,            // the close button: the window goes, the run is stopped
    };

    // `start`: the configuration start-up made (switches, game directory,
    // endpoints, keys); the run gets a copy.
    explicit PatcherWindow(PatchOptions start);
    virtual ~PatcherWindow();
    PatcherWindow(const PatcherWindow&) = delete;
    PatcherWindow& operator=(const PatcherWindow&) = delete;

    // Window set-up, in the launcher's fixed order, once the toolkit's
    // controls exist; may end the process (hand-over to a waiting update,
    // too little memory, second instance).
    bool OnInitDialog();
    // Every message the worker posts (WM_USER+1 .. WM_USER+7).
    long OnUserMessage(window::UINT message, window::WPARAM wParam, window::LPARAM lParam);
    // A click on control `id`: a bitmap button, or a double-click in the
    // server list (LBN_DBLCLK).
    void OnCommand(int id);
    // The close button: the window goes at once, its boxes are dismissed,
    // the run is asked to stop and the window's run ends.
    void OnClose();
    // Stops the worker (waiting a second at most: a run that does not end
    // by then is left to the process's end) and releases the marker.
    void OnDestroy();

    // OYNA or a double-click on a server: saves the settings, then starts
    // the chosen server's game or warns that none is chosen.
    void StartGame();
    // Returns only when `gameArg1` is empty; otherwise ends the process.
    void RunGame(const std::string& gameArg1, const std::string& gameArg2);
    [[noreturn]] void OnRunLaunchHelper();

    // The colour of the four status texts right now (0xRRGGBB): green once
    // the run has finished (from the start when nothing is patched).
    std::uint32_t StatusTextColour();

    Phase phase() const { return phase_; }
    // The run whose state the window shows. OnInitDialog creates and starts
    // the real one; tests hand in a run of their own.
    void UseDownloader(std::unique_ptr<PatchDownloader> run) { downloader = std::move(run); }
    const PatchOptions& startValues() const { return start_; }

protected:
    // The toolkit's part. Texts are UTF-16; ids are those of controls.h.
    virtual void SetControlText(int id, std::u16string_view text) = 0;
    // PBM_SETPOS on bar 1002 or 1003 (the control clamps to 0..10000).
    virtual void SetBarPosition(int id, int position) = 0;
    virtual void ShowControl(int id) = 0;
    virtual void FocusControl(int id) = 0;
    // LB_ADDSTRING and LB_GETCURSEL of the server list (-1: none chosen).
    virtual void AddServerName(std::u16string_view name) = 0;
    virtual int SelectedServer() = 0;
    // Cuts the window to the skin's outline, moves the lower panes into
    // their frames, and gives it its icon and `title`.
    virtual void ShapeWindow(std::u16string_view title) = 0;
    // Points web pane `id` at `url`; returns at once.
    virtual void Navigate(int id, const std::string& url) = 0;
    virtual void HideWindow() = 0;
    // Ends the window's run (the modal loop); OnDestroy follows.
    virtual void EndWindowRun() = 0;
    virtual void Minimise() = 0;
    // Runs the settings dialog modally; its result does not matter.
    virtual void RunSettingsDialog() = 0;
    // Opens a document of the game directory with the system's viewer;
    // nothing happens when that fails.
    virtual void OpenDocument(const char* file) = 0;
    // The settings dialog's record, and where the worker's messages and
    // boxes go.
    virtual PreferencesStore& Preferences() = 0;
    virtual window::MessageTarget& Target() = 0;
    // A box shown for the worker is dismissed, and none is shown any more.
    virtual void DismissBoxes() = 0;

private:
    void SetText(int id, std::string_view cp1254);
    void SetBars(int filePosition, int runPosition);
    long OnPatchProgress(window::WPARAM wParam, window::LPARAM lParam);
    long OnPatchSpeed(window::WPARAM wParam);
    long OnPatchDone(window::WPARAM wParam);
    long OnPatchFailed();
    long OnServerListReady();
    void ShowPatchResult(bool filesWereUpdated);

    PatchOptions start_;
    // The run's report as the window's messages; it outlives the run.
    std::unique_ptr<window::ReportMessages> report_;
    std::unique_ptr<PatchDownloader> downloader;
    std::vector<ServerEntry> servers;
    // The running-launcher marker, held from initialisation to destruction.
    std::unique_ptr<win32_event> instanceEvent_;
    Phase phase_ = Phase::Initialising;
    bool patchFailed_ = false;
};
