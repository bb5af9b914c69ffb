#include "win32ui/patcher_dialog.h"
// After the system headers (win32ui/win32.h):
#include <cstdio>
#include <cstdlib>

#include "platform/codepage.h"
#include "platform/process.h"
#include "platform/system_info.h"
#include "win32ui/launcher_window.h"
#include "win32ui/skin.h"
#include "window/controls.h"
#include "window/texts.h"

namespace {

constexpr int kTemplate = 102;
constexpr int kIcon = 129;
// Posted to itself after the first frame: the web panes' browsers follow.
constexpr UINT kCreateBrowsers = WM_APP + 1;

COLORREF Colour(std::uint32_t rgb) {
    return RGB((rgb >> 16) & 0xFF, (rgb >> 8) & 0xFF, rgb & 0xFF);
}

std::wstring Wide(std::u16string_view text) {
    return std::wstring(text.begin(), text.end());
}

RECT ToRect(const window::Rect& r) {
    return {r.x, r.y, r.x + r.width, r.y + r.height};
}

}  // namespace

Win32PatcherDialog::Win32PatcherDialog(PatchOptions start)
    : PatcherWindow(std::move(start)), skin_(skin::LoadSkinBitmap(window::kSkinBitmap)) {}

Win32PatcherDialog::~Win32PatcherDialog() {
    panes_.clear();
    if (skin_ != nullptr) ::DeleteObject(skin_);
    if (blackBrush_ != nullptr) ::DeleteObject(blackBrush_);
    if (listBrush_ != nullptr) ::DeleteObject(listBrush_);
}

void RunLauncherWindow(PatchOptions start) {
    // Progress bars, the list box and the static texts.
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES};
    ::InitCommonControlsEx(&controls);

    const HRESULT ole = ::OleInitialize(nullptr);
    {
        Win32PatcherDialog dialog(std::move(start));
        dialog.DoModal();
    }
    if (SUCCEEDED(ole)) ::OleUninitialize();
}

INT_PTR Win32PatcherDialog::DoModal() {
    return ::DialogBoxParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kTemplate), nullptr,
                             DialogProc, reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK Win32PatcherDialog::DialogProc(HWND dialog, UINT message, WPARAM wParam,
                                                LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        ::SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        reinterpret_cast<Win32PatcherDialog*>(lParam)->dialog_ = dialog;
    }
    auto* self = reinterpret_cast<Win32PatcherDialog*>(::GetWindowLongPtrW(dialog, DWLP_USER));
    return self != nullptr ? self->OnMessage(message, wParam, lParam) : FALSE;
}

void Win32PatcherDialog::CreateControls() {
    using window::ControlKind;
    const HINSTANCE instance = ::GetModuleHandleW(nullptr);
    const auto font = static_cast<WPARAM>(::SendMessageW(dialog_, WM_GETFONT, 0, 0));
    // Template order, which is also the tab order.
    for (const window::Control& c : window::kControls) {
        const RECT place = ToRect(window::ToPixels(c.units));
        if (c.kind == ControlKind::WebPane) {
            panes_[c.id] = std::make_unique<CExplorer1>();
            panes_[c.id]->Create(dialog_, c.id, place);
            continue;
        }
        const wchar_t* type = L"STATIC";
        DWORD style = WS_CHILD | (c.shown ? WS_VISIBLE : 0);
        DWORD extended = 0;
        switch (c.kind) {
            case ControlKind::ProgressBar:
                type = PROGRESS_CLASSW;
                style |= PBS_SMOOTH | (c.bordered ? WS_BORDER : 0);
                break;
            case ControlKind::StatusText:
                // No notification: clicks fall through to the window, which drags.
                style |= SS_NOPREFIX | (c.rightAligned ? SS_RIGHT : SS_LEFTNOWORDWRAP) |
                         (c.ellipsis ? SS_ENDELLIPSIS : 0);
                break;
            case ControlKind::ServerList:
                type = L"LISTBOX";
                style |= WS_BORDER | WS_VSCROLL | WS_TABSTOP | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT;
                break;
            case ControlKind::BitmapButton:
                style |= SS_BITMAP | SS_NOTIFY | (c.centred ? SS_CENTERIMAGE : 0);
                extended = c.id == window::kStartButton || c.centred ? WS_EX_TRANSPARENT : 0;
                break;
            case ControlKind::WebPane:
                break;
        }
        const HWND control = ::CreateWindowExW(
            extended, type, L"", style, place.left, place.top, place.right - place.left,
            place.bottom - place.top, dialog_, reinterpret_cast<HMENU>(static_cast<INT_PTR>(c.id)),
            instance, nullptr);
        ::SendMessageW(control, WM_SETFONT, font, FALSE);
        if (c.kind == ControlKind::ProgressBar) {
            // Drawn by the control itself in the skin's colours, never by a
            // theme of the system's, which would ignore them.
            ::SetWindowTheme(control, L" ", L" ");
            ::SendMessageW(control, PBM_SETRANGE32, 0, 10000);
            ::SendMessageW(control, PBM_SETBARCOLOR, 0, RGB(0xC9, 0x96, 0x2C));
            ::SendMessageW(control, PBM_SETBKCOLOR, 0, RGB(0x0B, 0x0B, 0x0E));
        } else if (c.kind == ControlKind::BitmapButton) {
            ::SendMessageW(control, STM_SETIMAGE, IMAGE_BITMAP,
                           reinterpret_cast<LPARAM>(skin::LoadSkinBitmap(c.bitmap)));
        }
    }
}

INT_PTR Win32PatcherDialog::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    // The worker's messages (the dialog's own DM_ messages share numbers
    // with them, but nothing sends those to this window).
    if (message >= WM_PATCH_PROGRESS && message <= WM_RUN_LAUNCH_HELPER) {
        ::SetWindowLongPtrW(dialog_, DWLP_MSGRESULT, OnUserMessage(message, wParam, lParam));
        return TRUE;
    }
    switch (message) {
        case WM_INITDIALOG: {
            // The skin's size, centred on the screen.
            const int width = window::WindowWidth(), height = window::WindowHeight();
            RECT work{};
            ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
            ::SetWindowPos(dialog_, nullptr, work.left + (work.right - work.left - width) / 2,
                           work.top + (work.bottom - work.top - height) / 2, width, height,
                           SWP_NOZORDER | SWP_NOACTIVATE);
            target_.SetWindow(dialog_);
            blackBrush_ = ::CreateSolidBrush(Colour(window::kTextBackground));
            listBrush_ = ::CreateSolidBrush(Colour(window::kListBackground));
            CreateControls();
            OnInitDialog();
            return FALSE;  // the focus is where OnInitDialog put it
        }
        case WM_PAINT:
            OnPaint();
            return TRUE;
        case WM_ERASEBKGND:
            ::SetWindowLongPtrW(dialog_, DWLP_MSGRESULT, 1);  // the skin covers it all
            return TRUE;
        case kCreateBrowsers:
            CreateBrowsers();
            return TRUE;
        case WM_CTLCOLORSTATIC:
        case WM_CTLCOLORLISTBOX:
            return reinterpret_cast<INT_PTR>(
                OnCtlColor(reinterpret_cast<HDC>(wParam), reinterpret_cast<HWND>(lParam)));
        case WM_LBUTTONDOWN:
            // Any free spot of the skin (or a status text) drags the window.
            ::SendMessageW(dialog_, WM_NCLBUTTONDOWN, HTCAPTION, lParam);
            return FALSE;
        case WM_LBUTTONUP:
            ::SendMessageW(dialog_, WM_NCLBUTTONUP, HTCAPTION, lParam);
            return FALSE;
        case WM_COMMAND: {
            const int id = LOWORD(wParam);
            const int code = HIWORD(wParam);
            // Enter and Escape (IDOK, IDCANCEL; Alt+F4 too) do nothing. A
            // bitmap button's second press of a double-click is a click too.
            if ((code == STN_CLICKED || code == STN_DBLCLK) && id != window::kServerList) {
                OnCommand(id);
            } else if (code == LBN_DBLCLK && id == window::kServerList) {
                OnCommand(id);
            }
            return TRUE;
        }
        case WM_DESTROY:
            OnDestroy();
            target_.SetWindow(nullptr);
            return FALSE;
        default:
            return FALSE;
    }
}

void Win32PatcherDialog::OnPaint() {
    PAINTSTRUCT paint;
    const HDC dc = ::BeginPaint(dialog_, &paint);
    if (::IsIconic(dialog_)) {
        RECT client;
        ::GetClientRect(dialog_, &client);
        ::SendMessageW(dialog_, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
        ::DrawIcon(dc, (client.right - ::GetSystemMetrics(SM_CXICON) + 1) / 2,
                   (client.bottom - ::GetSystemMetrics(SM_CYICON) + 1) / 2, icon_);
    } else if (skin_ != nullptr) {
        const HDC memory = ::CreateCompatibleDC(dc);
        const HGDIOBJ previous = ::SelectObject(memory, skin_);
        ::BitBlt(dc, 0, 0, window::kSkinWidth, window::kSkinHeight, memory, 0, 0, SRCCOPY);
        ::SelectObject(memory, previous);
        ::DeleteDC(memory);
    }
    ::EndPaint(dialog_, &paint);
    if (!firstFrame_) return;
    firstFrame_ = false;
    // For the start-up benchmark: when the player first sees the launcher.
    if (std::getenv("VALDORA_REPORT_FIRST_FRAME") != nullptr) {
        std::fprintf(stderr, "valdora: first frame %lld ms after start\n",
                     static_cast<long long>(platform::milliseconds_since_process_start()));
        std::fflush(stderr);
    }
    ::PostMessageW(dialog_, kCreateBrowsers, 0, 0);
}

void Win32PatcherDialog::CreateBrowsers() {
    for (auto& [id, pane] : panes_) {
        std::string error;
        if (!pane->CreateBrowser(error)) {
            // The panes stay black; once is enough to say why.
            LogWebPanesUnavailable(error);
            return;
        }
    }
}

HBRUSH Win32PatcherDialog::OnCtlColor(HDC dc, HWND control) {
    const int id = ::GetDlgCtrlID(control);
    if (id == window::kServerList) {
        ::SetTextColor(dc, Colour(window::kTextWhite));
        ::SetBkColor(dc, Colour(window::kListTextBackground));
        return listBrush_;
    }
    if (id == window::kStatusLabel || id == window::kCounterLabel || id == window::kSpeedLabel ||
        id == window::kInfoLabel) {
        ::SetTextColor(dc, Colour(StatusTextColour()));
        ::SetBkColor(dc, Colour(window::kTextBackground));
        return blackBrush_;
    }
    return nullptr;  // the system's own
}

void Win32PatcherDialog::SetControlText(int id, std::u16string_view text) {
    ::SetWindowTextW(Item(id), Wide(text).c_str());
}

void Win32PatcherDialog::SetBarPosition(int id, int position) {
    ::SendMessageW(Item(id), PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

void Win32PatcherDialog::ShowControl(int id) {
    ::ShowWindow(Item(id), SW_SHOW);
}

void Win32PatcherDialog::FocusControl(int id) {
    ::SetFocus(Item(id));
}

void Win32PatcherDialog::AddServerName(std::u16string_view name) {
    const std::wstring line = Wide(name);
    ::SendMessageW(Item(window::kServerList), LB_ADDSTRING, 0,
                   reinterpret_cast<LPARAM>(line.c_str()));
}

int Win32PatcherDialog::SelectedServer() {
    return static_cast<int>(::SendMessageW(Item(window::kServerList), LB_GETCURSEL, 0, 0));
}

void Win32PatcherDialog::ShapeWindow(std::u16string_view title) {
    icon_ = static_cast<HICON>(::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kIcon),
                                            IMAGE_ICON, 0, 0, LR_DEFAULTSIZE | LR_SHARED));
    ::SendMessageW(dialog_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
    ::SendMessageW(dialog_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon_));
    for (const int pane : {window::kPromoPane2, window::kPromoPane3}) {
        const window::Rect r = window::PlaceInPixels(pane);
        ::MoveWindow(Item(pane), r.x, r.y, r.width, r.height, TRUE);
    }
    // The window owns the region from here on.
    if (const HRGN region = skin::RegionFromSkin(skin_)) ::SetWindowRgn(dialog_, region, TRUE);
    ::SetWindowTextW(dialog_, Wide(title).c_str());
}

void Win32PatcherDialog::Navigate(int id, const std::string& url) {
    panes_.at(id)->Navigate(url);
}

// Gone from the screen at once: cut to nothing rather than hidden (see
// EndWindowRun).
void Win32PatcherDialog::HideWindow() {
    ::SetWindowRgn(dialog_, ::CreateRectRgn(0, 0, 0, 0), TRUE);
}

// The window's run ends with the process, once the worker has stopped: the
// system takes the window along. Destroying it first would hide it, and
// Wine hides a window only once a window manager has taken note (waiting
// 2 s for none on a bare X server); Windows has nothing more to do either.
void Win32PatcherDialog::EndWindowRun() {
    OnDestroy();
    platform::exit_process(0);
}

void Win32PatcherDialog::Minimise() {
    ::ShowWindow(dialog_, SW_MINIMIZE);
}

void Win32PatcherDialog::RunSettingsDialog() {
    preferences_.DoModal(dialog_);
}

void Win32PatcherDialog::OpenDocument(const char* file) {
    const std::u16string name = platform::utf8_to_utf16(file);
    ::ShellExecuteW(nullptr, L"open", Wide(name).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}
