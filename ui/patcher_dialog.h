// The launcher's window in Qt: a frameless, skinned window that draws what
// PatcherWindow (window/patcher_window.h) decides and delivers its events.
#pragma once

#include <QWidget>
#include <map>

#include "ui/preferences_dialog.h"
#include "ui/qt_message_target.h"
#include "window/patcher_window.h"

class BitmapButton;
class CExplorer1;
class RunProgressBar;
class ServerListBox;
class StatusText;

class Cpatcher_client_MFCDlg : public QWidget, public PatcherWindow {
    Q_OBJECT
public:
    // `start`: the configuration start-up made (switches, game directory,
    // endpoints, keys).
    explicit Cpatcher_client_MFCDlg(PatchOptions start = {});
    ~Cpatcher_client_MFCDlg() override;

    // Runs the window until its close button: shows it, then the event loop.
    int DoModal();

    window::MessageTarget& messageTarget() { return target_; }
    PreferencesDialog& preferencesDialog() { return preferences; }

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

    void SetControlText(int id, std::u16string_view text) override;
    void SetBarPosition(int id, int position) override;
    void ShowControl(int id) override;
    void FocusControl(int id) override;
    void AddServerName(std::u16string_view name) override;
    int SelectedServer() override;
    void ShapeWindow(std::u16string_view title) override;
    void Navigate(int id, const std::string& url) override;
    void HideWindow() override { hide(); }
    void EndWindowRun() override;
    void Minimise() override { showMinimized(); }
    void RunSettingsDialog() override { preferences.exec(); }
    void OpenDocument(const char* file) override;
    PreferencesStore& Preferences() override { return preferences; }
    window::MessageTarget& Target() override { return target_; }
    void DismissBoxes() override { target_.Close(); }

private:
    void createControls();

    PreferencesDialog preferences;
    // The controls by template id.
    std::map<int, QWidget*> controls_;
    QtMessageTarget target_;
    // Bitmap 139, loaded once: the background, the shape and the icon.
    const QImage skin_;
    bool dragging_ = false;
    QPoint dragOffset_;
};
