// The launcher's window in Win32: a borderless dialog (template 102) shaped
// from its skin with SetWindowRgn, with the system's progress bars, list box,
// static texts and bitmap statics, and the WebBrowser control in its panes.
// It draws what PatcherWindow (window/patcher_window.h) decides and
// delivers its clicks and the worker's posted messages.
#pragma once

#include <map>
#include <memory>

#include "win32ui/explorer.h"
#include "win32ui/preferences_dialog.h"
#include "win32ui/win32.h"
#include "win32ui/win32_message_target.h"
#include "window/patcher_window.h"

class Win32PatcherDialog : public PatcherWindow {
public:
    // `start`: the configuration start-up made (switches, game directory,
    // endpoints, keys).
    explicit Win32PatcherDialog(PatchOptions start);
    ~Win32PatcherDialog() override;

    // Runs the window until its close button; OnInitDialog and OnDestroy
    // run inside.
    INT_PTR DoModal();

protected:
    void SetControlText(int id, std::u16string_view text) override;
    void SetBarPosition(int id, int position) override;
    void ShowControl(int id) override;
    void FocusControl(int id) override;
    void AddServerName(std::u16string_view name) override;
    int SelectedServer() override;
    void ShapeWindow(std::u16string_view title) override;
    void Navigate(int id, const std::string& url) override;
    void HideWindow() override;
    void EndWindowRun() override;
    void Minimise() override;
    void RunSettingsDialog() override;
    void OpenDocument(const char* file) override;
    PreferencesStore& Preferences() override { return preferences_; }
    window::MessageTarget& Target() override { return target_; }
    void DismissBoxes() override { target_.Close(); }

private:
    static INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void CreateControls();
    void OnPaint();
    // The web panes' browsers, once the first frame is on the screen.
    void CreateBrowsers();
    HBRUSH OnCtlColor(HDC dc, HWND control);
    HWND Item(int id) const { return ::GetDlgItem(dialog_, id); }

    Win32PreferencesDialog preferences_;
    Win32MessageTarget target_;
    HWND dialog_ = nullptr;
    std::map<int, std::unique_ptr<CExplorer1>> panes_;
    // Bitmap 139, loaded once: the background and the shape.
    HBITMAP skin_ = nullptr;
    HICON icon_ = nullptr;
    HBRUSH blackBrush_ = nullptr;
    HBRUSH listBrush_ = nullptr;
    bool firstFrame_ = true;
};
