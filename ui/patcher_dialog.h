// The launcher's only window: a frameless, skinned window that shows the
// patch run's progress, then the game servers and the start button.
#pragma once

#include <QWidget>
#include <memory>
#include <vector>

#include "patch/patch_downloader.h"
#include "patch/patch_options.h"
#include "platform/win32_event.h"
#include "servers/server_list.h"
#include "settings/preferences_dialog.h"
#include "ui/qt_message_target.h"

class BitmapButton;
class CExplorer1;
class RunProgressBar;
class ServerListBox;
class StatusText;

class Cpatcher_client_MFCDlg : public QWidget {
    Q_OBJECT
public:
    // `start`: what start-up gathered (switches, game directory, endpoints).
    explicit Cpatcher_client_MFCDlg(LaunchValues start = {});
    ~Cpatcher_client_MFCDlg() override;

    // Window set-up, in the launcher's fixed order; may end the process
    // (hand-over to a waiting update, too little memory, second instance).
    bool OnInitDialog();
    // Runs the window until its close button: shows it, then the event loop.
    int DoModal();
    // The close button: hides the window, dismisses its boxes, asks the run
    // to stop and ends the window's run.
    void OnClose();
    // Stops the worker (waiting a second at most) and releases what the
    // window holds.
    void OnDestroy();

    // The run whose state the window shows. OnInitDialog creates and starts
    // the real one; tests hand in a run of their own.
    void UseDownloader(std::unique_ptr<PatchDownloader> run) { downloader = std::move(run); }

    // Every message the worker posts (WM_USER+1 .. WM_USER+7) lands here.
    long OnUserMessage(platform::UINT message, platform::WPARAM wParam, platform::LPARAM lParam);

    void StartGame();
    // Returns only when `gameArg1` is empty; otherwise ends the process.
    void RunGame(const std::string& gameArg1, const std::string& gameArg2);
    [[noreturn]] void OnRunLaunchHelper();

    // The colour of the four status texts right now.
    QColor StatusTextColour() const;

    // Cuts the window to the skin's outline and puts the lower web panes in
    // their frames (a step of OnInitDialog).
    void ShapeFromSkin();

    platform::MessageTarget& messageTarget() { return target_; }
    PreferencesDialog& preferencesDialog() { return preferences; }

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void createControls();
    void ShowPatchResult(bool filesWereUpdated);
    long OnPatchProgress(platform::WPARAM wParam, platform::LPARAM lParam);
    long OnPatchSpeed(platform::WPARAM wParam, platform::LPARAM lParam);
    long OnPatchDone(platform::WPARAM wParam);
    long OnPatchFailed();
    long OnServerListReady();
    void OpenGuide();
    void SetText(StatusText* label, const std::string& cp1254);

    LaunchValues start_;
    // Members in the window's own order.
    PreferencesDialog preferences;
    std::unique_ptr<PatchDownloader> downloader;
    std::vector<ServerEntry> servers;
    RunProgressBar* fileProgress = nullptr;
    RunProgressBar* totalProgress = nullptr;
    ServerListBox* serverList = nullptr;
    CExplorer1* promoPane1 = nullptr;
    StatusText* statusLabel = nullptr;
    StatusText* counterLabel = nullptr;
    StatusText* speedLabel = nullptr;
    StatusText* infoLabel = nullptr;
    BitmapButton* startButton = nullptr;
    CExplorer1* promoPane2 = nullptr;
    CExplorer1* promoPane3 = nullptr;

    QtMessageTarget target_;
    // The running-launcher marker, held from initialisation to destruction.
    std::unique_ptr<win32_event> instanceEvent_;
    // Bitmap 139, loaded once: the background, the shape and the icon.
    const QImage skin_;
    bool patchFailed_ = false;
    bool dragging_ = false;
    QPoint dragOffset_;
};
