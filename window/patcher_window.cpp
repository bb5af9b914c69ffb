#include "window/patcher_window.h"

#include "log/launcher_log.h"
#include "patch/self_update.h"
#include "platform/codepage.h"
#include "platform/cp1254_literal.h"
#include "platform/file.h"
#include "platform/last_error.h"
#include "platform/named_event.h"
#include "platform/process.h"
#include "platform/system_info.h"
#include "window/controls.h"
#include "window/texts.h"

using namespace platform::literals;
using namespace window;

PatcherWindow::PatcherWindow(PatchOptions start) : start_(std::move(start)) {}

PatcherWindow::~PatcherWindow() = default;

bool PatcherWindow::OnInitDialog() {
    platform::delete_file(kLauncherLogPath);
    WriteKeptLauncherLogLines();  // what launch_helper.exe did before this start

    // Where another user could have put "_launcher.dll", the launcher goes on
    // as with -test_launcher: it patches the game but never hands over.
    if (!start_.testLauncher && !SelfUpdateAllowedHere()) {
        start_.testLauncher = true;
    }
    if (IsLauncherUpdatePending(start_.testLauncher)) {
        OnUserMessage(WM_RUN_LAUNCH_HELPER, 0, 0);  // ends the process
    }

    for (const int id : {kStatusLabel, kInfoLabel, kSpeedLabel, kCounterLabel}) SetText(id, "");
    SetBarPosition(kTotalProgress, 0);
    SetBarPosition(kFileProgress, 0);

    // Taken in one step: of two launchers started at the same moment exactly
    // one gets the marker, and the other ends here, before it rewrites the
    // settings file of the one that runs.
    instanceEvent_ = std::make_unique<win32_event>(win32_event::create_t{}, kInstanceEventName);
    if (!instanceEvent_->holds()) platform::exit_process(-1);

    Preferences().SetMessageTarget(&Target());
    Preferences().LoadSettingsAtStartup();

    ShapeWindow(kWindowTitle);

    const int panes[] = {kPromoPane1, kPromoPane2, kPromoPane3};
    for (int i = 0; i < 3; ++i) Navigate(panes[i], start_.webSite + kPromoPages[i]);

    FocusControl(kStartButton);

    report_ = std::make_unique<ReportMessages>(Target());
    downloader = std::make_unique<PatchDownloader>(report_.get(), start_);
    downloader->Start();
    phase_ = Phase::Patching;
    return true;
}

// The close button: the player sees the launcher gone at once, the run is
// asked to end, and the window's run ends (PostQuitMessage(0)); OnDestroy
// follows.
void PatcherWindow::OnClose() {
    phase_ = Phase::Closing;
    HideWindow();
    DismissBoxes();
    if (downloader) downloader->RequestStop();
    EndWindowRun();
}

void PatcherWindow::OnDestroy() {
    DismissBoxes();
    if (downloader) {
        // A run ends within about a second of a stop. One that does not (a
        // call that never returns) must not keep the process, its marker and
        // a player waiting: the launcher ends without it.
        if (!downloader->Stop(std::chrono::milliseconds(1000))) {
            instanceEvent_.reset();
            platform::exit_process(0);
        }
        downloader.reset();
    }
    instanceEvent_.reset();
}

void PatcherWindow::OnCommand(int id) {
    switch (id) {
        case kCloseButton:
            return OnClose();
        case kMinimiseButton:
            return Minimise();
        case kSettingsButton:
            return RunSettingsDialog();
        case kStartButton:
        case kServerList:
            return StartGame();
        case kGuideButton:
            return OpenDocument(kGuideFile);
        default:
            return;
    }
}

// The window's message map for what the worker posts. Once the window is
// closing, what is still queued is left alone.
long PatcherWindow::OnUserMessage(window::UINT message, window::WPARAM wParam,
                                  window::LPARAM lParam) {
    if (phase_ == Phase::Closing) return 0;
    switch (message) {
        case WM_PATCH_PROGRESS:
            return OnPatchProgress(wParam, lParam);
        case WM_PATCH_DONE:
            return OnPatchDone(wParam);
        case WM_PATCH_FAILED:
            return OnPatchFailed();
        case WM_PATCH_SPEED:
            return OnPatchSpeed(wParam);
        case WM_SERVERLIST_READY:
            return OnServerListReady();
        case WM_PATCH_QUIT:
            platform::exit_process(0);
        case WM_RUN_LAUNCH_HELPER:
            OnRunLaunchHelper();
        default:
            return 0;
    }
}

void PatcherWindow::SetText(int id, std::string_view cp1254) {
    SetControlText(id, platform::cp1254_to_utf16(cp1254));
}

// Each bar first a step short of its place, then there: the system's bar
// jumps instead of crawling towards it.
void PatcherWindow::SetBars(int filePosition, int runPosition) {
    SetBarPosition(kFileProgress, filePosition - 2);
    SetBarPosition(kTotalProgress, runPosition - 2);
    SetBarPosition(kFileProgress, filePosition);
    SetBarPosition(kTotalProgress, runPosition);
}

long PatcherWindow::OnPatchProgress(window::WPARAM wParam, window::LPARAM lParam) {
    const PatchProgressView view = DescribePatchProgress(
        UnpackProgress(wParam, lParam), downloader ? downloader->GetStatusText() : "");
    SetText(kStatusLabel, view.statusText);
    SetText(kCounterLabel, view.counterText);
    SetBars(view.filePosition, view.runPosition);
    return 0;
}

long PatcherWindow::OnPatchSpeed(window::WPARAM wParam) {
    const PatchSpeedView view = DescribePatchSpeed(UnpackSpeed(wParam));
    SetText(kSpeedLabel, view.speedText);
    SetText(kInfoLabel, view.remainingText);
    return 0;
}

long PatcherWindow::OnPatchDone(window::WPARAM wParam) {
    SetBars(10000, 10000);
    ShowPatchResult(wParam != 0);
    return 0;
}

// A failed run is never shown as a success: the failure text stays until
// the run ends.
long PatcherWindow::OnPatchFailed() {
    patchFailed_ = true;
    SetText(kStatusLabel, kPatchFailedText);
    SetText(kInfoLabel, kTryLaterText);
    return 0;
}

void PatcherWindow::ShowPatchResult(bool filesWereUpdated) {
    SetText(kStatusLabel, patchFailed_ ? kPatchFailedText : PatchDoneText(filesWereUpdated));
    SetText(kInfoLabel, kWaitingForServersText);
    SetText(kSpeedLabel, "");
    SetText(kCounterLabel, "");
    ShowControl(kStartButton);
    ShowControl(kServerList);
    FocusControl(kStartButton);
    phase_ = Phase::WaitingForServers;
}

long PatcherWindow::OnServerListReady() {
    SetText(kInfoLabel, kGameReadyText);
    servers = downloader ? downloader->GetServers() : std::vector<ServerEntry>();
    for (const ServerEntry& entry : servers) AddServerName(ServerDisplayName(entry.name));
    phase_ = Phase::Ready;
    return 0;
}

std::uint32_t PatcherWindow::StatusTextColour() {
    const bool finished = start_.skipPatch || (downloader && downloader->IsFinished());
    return finished ? kTextGreen : kTextWhite;
}

void PatcherWindow::StartGame() {
    Preferences().WriteSettingsFile();
    const int index = SelectedServer();
    if (index < 0 || index >= static_cast<int>(servers.size())) {
        Target().MessageBox(kChooseServerText, kChooseServerCaption, platform::BoxIcon::None,
                            platform::BoxOwner::Window);
        return;
    }
    const ServerEntry entry = servers[static_cast<std::size_t>(index)];
    RunGame(entry.gameArg1, entry.gameArg2);
}

void PatcherWindow::RunGame(const std::string& gameArg1, const std::string& gameArg2) {
    if (gameArg1.empty()) return;
    // The fields reach the game as the code page reads them; the words are
    // split at blanks and passed without a shell.
    const std::string parameters =
        platform::cp1254_to_utf8(gameArg1) + " " + platform::cp1254_to_utf8(gameArg2) + " 2";

    auto started = platform::NamedEvent::create("trovhal");
    const auto game =
        platform::spawn_process("valdora.exe", platform::split_parameters(parameters));
    if (!game) {
        WriteLauncherLog("valdora.exe çalıştırılırken hata: %d"_cp1254, platform::last_error());
        started.reset();
        platform::exit_process(-1);
    }
    if (started) started->wait_for(std::chrono::milliseconds(30000));
    started.reset();
    platform::exit_process(0);
}

void PatcherWindow::OnRunLaunchHelper() {
    if (!platform::spawn_process("launch_helper.exe", {})) {
        WriteLauncherLog("launch_helper.exe çalıştırılırken hata: %s"_cp1254,
                         platform::error_text(platform::last_error()).c_str());
    }
    platform::exit_process(0);
}
