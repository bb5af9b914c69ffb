#include "win32ui/preferences_dialog.h"

#include "platform/codepage.h"

namespace {

using settings::FormControl;
using settings::FormControlKind;

constexpr int kTemplate = 130;
// A drop-down list opens below its closed line: about ten items.
constexpr int kOpenListUnits = 88;

std::wstring Wide(const char* utf8) {
    const std::u16string text = platform::utf8_to_utf16(utf8);
    return std::wstring(text.begin(), text.end());
}

}  // namespace

INT_PTR Win32PreferencesDialog::DoModal(HWND owner) {
    return ::DialogBoxParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kTemplate), owner,
                             DialogProc, reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK Win32PreferencesDialog::DialogProc(HWND dialog, UINT message, WPARAM wParam,
                                                    LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        ::SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        reinterpret_cast<Win32PreferencesDialog*>(lParam)->dialog_ = dialog;
    }
    auto* self = reinterpret_cast<Win32PreferencesDialog*>(::GetWindowLongPtrW(dialog, DWLP_USER));
    return self != nullptr ? self->OnMessage(message, wParam, lParam) : FALSE;
}

void Win32PreferencesDialog::CreateControls() {
    const auto font = static_cast<WPARAM>(::SendMessageW(dialog_, WM_GETFONT, 0, 0));
    for (const FormControl& c : settings::kPreferencesControls) {
        const wchar_t* type = L"STATIC";
        DWORD style = WS_CHILD;
        switch (c.kind) {
            case FormControlKind::CheckBox:
                type = L"BUTTON";
                style |= BS_AUTOCHECKBOX | WS_TABSTOP;
                break;
            case FormControlKind::Label:
                style |= SS_LEFT | SS_NOPREFIX;
                break;
            case FormControlKind::Button:
            case FormControlKind::DefaultButton:
                type = L"BUTTON";
                style |= WS_TABSTOP | (c.kind == FormControlKind::DefaultButton ? BS_DEFPUSHBUTTON
                                                                                : BS_PUSHBUTTON);
                break;
            case FormControlKind::DropDownList:
                type = L"COMBOBOX";
                style |= CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP;
                break;
        }
        // The game runs full screen; its box stays hidden and only carries the value.
        if (c.id != settings::kFullscreenBox) style |= WS_VISIBLE;
        const bool list = c.kind == FormControlKind::DropDownList;
        const int width = c.kind == FormControlKind::Label ? settings::LabelWidth(c) : c.width;
        RECT place = {c.x, c.y, c.x + width, c.y + c.height + (list ? kOpenListUnits : 0)};
        ::MapDialogRect(dialog_, &place);
        const HWND control =
            ::CreateWindowExW(0, type, Wide(c.text).c_str(), style, place.left, place.top,
                              place.right - place.left, place.bottom - place.top, dialog_,
                              reinterpret_cast<HMENU>(static_cast<INT_PTR>(c.id == 0 ? -1 : c.id)),
                              ::GetModuleHandleW(nullptr), nullptr);
        ::SendMessageW(control, WM_SETFONT, font, FALSE);
    }
    for (const FormControl& c : settings::kPreferencesControls) {
        if (c.kind == FormControlKind::DefaultButton) ::SendMessageW(dialog_, DM_SETDEFID, c.id, 0);
    }
}

INT_PTR Win32PreferencesDialog::OnMessage(UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            ::SetWindowTextW(dialog_, Wide(settings::kPreferencesCaption).c_str());
            boxes_.SetWindow(dialog_);
            CreateControls();
            UpdateControls();
            // Each opening starts on the first control.
            ::SetFocus(::GetNextDlgTabItem(dialog_, nullptr, FALSE));
            return FALSE;
        case WM_SHOWWINDOW:
        case WM_ACTIVATE:
        case WM_SETFOCUS:
            UpdateControls();
            return FALSE;
        case WM_COMMAND: {
            const int id = LOWORD(wParam);
            const int code = HIWORD(wParam);
            // Escape and the close box: closed with the cancel result, the
            // record as it is, no handler run.
            if (id == IDCANCEL) {
                ::EndDialog(dialog_, kCancelResult);
            } else if (code == BN_CLICKED || code == CBN_SELCHANGE) {
                OnCommand(id);
            }
            return TRUE;
        }
        case WM_DESTROY:
            boxes_.SetWindow(nullptr);
            dialog_ = nullptr;
            return FALSE;
        default:
            return FALSE;
    }
}

PreferencesStore::MessageRoute Win32PreferencesDialog::MemoryMessageRoute() {
    if (dialog_ != nullptr && ::IsWindowVisible(dialog_)) {
        return {&boxes_, platform::BoxOwner::Window};
    }
    return PreferencesStore::MemoryMessageRoute();
}

bool Win32PreferencesDialog::IsChecked(int id) {
    return ::SendMessageW(Item(id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void Win32PreferencesDialog::SetChecked(int id, bool checked) {
    ::SendMessageW(Item(id), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

int Win32PreferencesDialog::ItemCount(int id) {
    return static_cast<int>(::SendMessageW(Item(id), CB_GETCOUNT, 0, 0));
}

void Win32PreferencesDialog::AddItem(int id, std::u16string_view text) {
    const std::wstring item(text.begin(), text.end());
    ::SendMessageW(Item(id), CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item.c_str()));
}

int Win32PreferencesDialog::Selection(int id) {
    return static_cast<int>(::SendMessageW(Item(id), CB_GETCURSEL, 0, 0));
}

void Win32PreferencesDialog::Select(int id, int index) {
    ::SendMessageW(Item(id), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

void Win32PreferencesDialog::Enable(int id, bool enabled) {
    ::EnableWindow(Item(id), enabled);
}

void Win32PreferencesDialog::CloseDialog() {
    ::EndDialog(dialog_, 0);
}
