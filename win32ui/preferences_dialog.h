// The settings dialog in Win32: a modal dialog (template 130) whose
// controls are made from the shared table (settings/preferences_form.h) and
// only show and deliver what PreferencesForm decides.
#pragma once

#include <string>

#include "settings/preferences_form.h"
#include "win32ui/win32.h"
#include "win32ui/win32_message_target.h"

class Win32PreferencesDialog : public PreferencesForm {
public:
    using PreferencesForm::PreferencesForm;

    // Runs the dialog modally, owned by `owner` (disabled meanwhile): 0
    // after "OK" or "İptal", kCancelResult after Escape or the close box.
    INT_PTR DoModal(HWND owner);

protected:
    MessageRoute MemoryMessageRoute() override;

    bool IsChecked(int id) override;
    void SetChecked(int id, bool checked) override;
    int ItemCount(int id) override;
    void AddItem(int id, std::u16string_view text) override;
    int Selection(int id) override;
    void Select(int id, int index) override;
    void Enable(int id, bool enabled) override;
    void CloseDialog() override;

private:
    static INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void CreateControls();
    HWND Item(int id) const { return ::GetDlgItem(dialog_, id); }

    HWND dialog_ = nullptr;
    Win32MessageTarget boxes_;  // the memory message, over the dialog
};
