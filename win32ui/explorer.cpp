#include "win32ui/explorer.h"

#include <atomic>
#include <cstdio>
#include <string_view>

#include "platform/codepage.h"
#include "window/web_pages.h"

namespace {

constexpr wchar_t kPaneClass[] = L"ValdoraWebPane";

// Not in every system library that links the other interfaces.
constexpr IID kIDocHostShowUI = {
    0xC4D244B0, 0xD43E, 0x11CF, {0x89, 0x3B, 0x00, 0xAA, 0x00, 0xBD, 0xCE, 0x1A}};
// The control's HTML engine (MSHTML's document).
constexpr CLSID kHtmlDocument = {
    0x25336920, 0x03F9, 0x11CF, {0x8F, 0xD0, 0x00, 0xAA, 0x00, 0x68, 0x6F, 0x13}};

// Navigate2's flags: the page is not kept in the history or the cache.
constexpr long kNavigateFlags = navNoHistory | navNoReadFromCache | navNoWriteToCache;

std::string Utf8(const wchar_t* text, std::size_t length) {
    return platform::utf16_to_utf8(
        std::u16string_view(reinterpret_cast<const char16_t*>(text), length));
}

std::string BstrUtf8(BSTR text) {
    return text == nullptr ? std::string() : Utf8(text, ::SysStringLen(text));
}

// "what: the system's text (0x80040154)".
std::string Failure(const char* what, HRESULT result) {
    wchar_t* text = nullptr;
    ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(result), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string reason = text != nullptr ? Utf8(text, std::wcslen(text)) : std::string();
    if (text != nullptr) ::LocalFree(text);
    while (!reason.empty() &&
           (reason.back() == '\n' || reason.back() == '\r' || reason.back() == ' '))
        reason.pop_back();
    char code[16];
    std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(result));
    return std::string(what) + ": " + (reason.empty() ? "" : reason + " ") + "(" + code + ")";
}

void RegisterPaneClass() {
    static const bool registered = [] {
        WNDCLASSEXW pane{};
        pane.cbSize = sizeof pane;
        pane.lpfnWndProc = ::DefWindowProcW;
        pane.hInstance = ::GetModuleHandleW(nullptr);
        pane.hCursor = ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
        // Black until a page paints, like the frames around it.
        pane.hbrBackground = static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH));
        pane.lpszClassName = kPaneClass;
        return ::RegisterClassExW(&pane) != 0;
    }();
    (void)registered;
}

}  // namespace

// The control's container: its client site, in-place site and frame, the
// page's host (no menu, no dialogs, no bridge), the ambient download
// controls (no plugins) and the receiver of the browser's events. A COM
// object: it goes with its last Release, never through a delete of one of
// its interfaces, which have no virtual destructors.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
class CExplorer1::Site final : public IOleClientSite,
                               public IOleInPlaceSite,
                               public IOleInPlaceFrame,
                               public IDocHostUIHandler,
                               public IDocHostShowUI,
                               public IDispatch {
public:
    explicit Site(HWND pane) : pane_(pane) {}

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
        if (out == nullptr) return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IOleClientSite) {
            *out = static_cast<IOleClientSite*>(this);
        } else if (iid == IID_IOleWindow || iid == IID_IOleInPlaceSite) {
            *out = static_cast<IOleInPlaceSite*>(this);
        } else if (iid == IID_IOleInPlaceUIWindow || iid == IID_IOleInPlaceFrame) {
            *out = static_cast<IOleInPlaceFrame*>(this);
        } else if (iid == IID_IDocHostUIHandler) {
            *out = static_cast<IDocHostUIHandler*>(this);
        } else if (iid == kIDocHostShowUI) {
            *out = static_cast<IDocHostShowUI*>(this);
        } else if (iid == IID_IDispatch || iid == DIID_DWebBrowserEvents2) {
            *out = static_cast<IDispatch*>(this);
        } else {
            *out = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++references_; }
    STDMETHODIMP_(ULONG) Release() override {
        const ULONG left = --references_;
        if (left == 0) delete this;
        return left;
    }

    // IOleClientSite
    STDMETHODIMP SaveObject() override { return E_NOTIMPL; }
    STDMETHODIMP GetMoniker(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
    STDMETHODIMP GetContainer(IOleContainer** container) override {
        *container = nullptr;
        return E_NOINTERFACE;
    }
    STDMETHODIMP ShowObject() override { return S_OK; }
    STDMETHODIMP OnShowWindow(BOOL) override { return S_OK; }
    STDMETHODIMP RequestNewObjectLayout() override { return E_NOTIMPL; }

    // IOleWindow, IOleInPlaceSite
    STDMETHODIMP GetWindow(HWND* window) override {
        *window = pane_;
        return S_OK;
    }
    STDMETHODIMP ContextSensitiveHelp(BOOL) override { return E_NOTIMPL; }
    STDMETHODIMP CanInPlaceActivate() override { return S_OK; }
    STDMETHODIMP OnInPlaceActivate() override { return S_OK; }
    STDMETHODIMP OnUIActivate() override { return S_OK; }
    STDMETHODIMP GetWindowContext(IOleInPlaceFrame** frame, IOleInPlaceUIWindow** document,
                                  RECT* position, RECT* clip, OLEINPLACEFRAMEINFO* info) override {
        *frame = static_cast<IOleInPlaceFrame*>(this);
        AddRef();
        *document = nullptr;
        ::GetClientRect(pane_, position);
        ::GetClientRect(pane_, clip);
        info->fMDIApp = FALSE;
        info->hwndFrame = ::GetAncestor(pane_, GA_ROOT);
        info->haccel = nullptr;
        info->cAccelEntries = 0;
        return S_OK;
    }
    STDMETHODIMP Scroll(SIZE) override { return E_NOTIMPL; }
    STDMETHODIMP OnUIDeactivate(BOOL) override { return S_OK; }
    STDMETHODIMP OnInPlaceDeactivate() override { return S_OK; }
    STDMETHODIMP DiscardUndoState() override { return E_NOTIMPL; }
    STDMETHODIMP DeactivateAndUndo() override { return E_NOTIMPL; }
    STDMETHODIMP OnPosRectChange(LPCRECT) override { return S_OK; }

    // IOleInPlaceUIWindow, IOleInPlaceFrame: no menus, borders or tools.
    STDMETHODIMP GetBorder(LPRECT) override { return INPLACE_E_NOTOOLSPACE; }
    STDMETHODIMP RequestBorderSpace(LPCBORDERWIDTHS) override { return INPLACE_E_NOTOOLSPACE; }
    STDMETHODIMP SetBorderSpace(LPCBORDERWIDTHS) override { return S_OK; }
    STDMETHODIMP SetActiveObject(IOleInPlaceActiveObject*, LPCOLESTR) override { return S_OK; }
    STDMETHODIMP InsertMenus(HMENU, LPOLEMENUGROUPWIDTHS) override { return E_NOTIMPL; }
    STDMETHODIMP SetMenu(HMENU, HOLEMENU, HWND) override { return S_OK; }
    STDMETHODIMP RemoveMenus(HMENU) override { return E_NOTIMPL; }
    STDMETHODIMP SetStatusText(LPCOLESTR) override { return S_OK; }
    STDMETHODIMP EnableModeless(BOOL) override { return S_OK; }
    STDMETHODIMP TranslateAccelerator(LPMSG, WORD) override { return S_FALSE; }

    // IDocHostUIHandler
    STDMETHODIMP ShowContextMenu(DWORD, POINT*, IUnknown*, IDispatch*) override {
        return S_OK;  // shown: no menu, no "save" or "view source"
    }
    STDMETHODIMP GetHostInfo(DOCHOSTUIINFO* info) override {
        info->cbSize = sizeof *info;
        info->dwFlags =
            DOCHOSTUIFLAG_NO3DBORDER | DOCHOSTUIFLAG_DISABLE_HELP_MENU | DOCHOSTUIFLAG_NOTHEME;
        info->dwDoubleClick = DOCHOSTUIDBLCLK_DEFAULT;
        return S_OK;
    }
    STDMETHODIMP ShowUI(DWORD, IOleInPlaceActiveObject*, IOleCommandTarget*, IOleInPlaceFrame*,
                        IOleInPlaceUIWindow*) override {
        return S_OK;
    }
    STDMETHODIMP HideUI() override { return S_OK; }
    STDMETHODIMP UpdateUI() override { return S_OK; }
    STDMETHODIMP OnDocWindowActivate(BOOL) override { return S_OK; }
    STDMETHODIMP OnFrameWindowActivate(BOOL) override { return S_OK; }
    STDMETHODIMP ResizeBorder(LPCRECT, IOleInPlaceUIWindow*, BOOL) override { return S_OK; }
    STDMETHODIMP TranslateAccelerator(LPMSG, const GUID*, DWORD) override { return S_FALSE; }
    STDMETHODIMP GetOptionKeyPath(LPOLESTR* key, DWORD) override {
        *key = nullptr;
        return S_FALSE;
    }
    STDMETHODIMP GetDropTarget(IDropTarget*, IDropTarget** target) override {
        *target = nullptr;
        return E_NOTIMPL;
    }
    STDMETHODIMP GetExternal(IDispatch** external) override {
        *external = nullptr;  // no bridge into the program
        return S_FALSE;
    }
    STDMETHODIMP TranslateUrl(DWORD, LPWSTR, LPWSTR* translated) override {
        *translated = nullptr;
        return S_FALSE;
    }
    STDMETHODIMP FilterDataObject(IDataObject*, IDataObject** filtered) override {
        *filtered = nullptr;
        return S_FALSE;
    }

    // IDocHostShowUI: a page's alert, confirm or prompt is answered "no"
    // without showing anything.
    STDMETHODIMP ShowMessage(HWND, LPOLESTR, LPOLESTR, DWORD, LPOLESTR, DWORD,
                             LRESULT* result) override {
        *result = IDCANCEL;
        return S_OK;
    }
    STDMETHODIMP ShowHelp(HWND, LPOLESTR, UINT, DWORD, POINT, IDispatch*) override { return S_OK; }

    // IDispatch: the ambient download controls and the browser's events.
    STDMETHODIMP GetTypeInfoCount(UINT* count) override {
        *count = 0;
        return S_OK;
    }
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return E_NOTIMPL;
    }
    STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT* result,
                        EXCEPINFO*, UINT*) override {
        switch (id) {
            case DISPID_AMBIENT_DLCONTROL:
                // Pictures, video and sound; no Java, no ActiveX controls.
                if (result == nullptr) return E_INVALIDARG;
                ::VariantInit(result);
                result->vt = VT_I4;
                result->lVal = DLCTL_DLIMAGES | DLCTL_VIDEOS | DLCTL_BGSOUNDS | DLCTL_NO_JAVA |
                               DLCTL_NO_DLACTIVEXCTLS | DLCTL_NO_RUNACTIVEXCTLS;
                return S_OK;
            case DISPID_BEFORENAVIGATE2:
                // (pDisp, URL, Flags, TargetFrameName, PostData, Headers, Cancel)
                if (params->cArgs == 7 && params->rgvarg[0].vt == (VT_BYREF | VT_BOOL) &&
                    !window::PaneMayShow(ArgumentText(params->rgvarg[5]))) {
                    *params->rgvarg[0].pboolVal = VARIANT_TRUE;
                }
                return S_OK;
            case DISPID_NEWWINDOW3:
                // (ppDisp, Cancel, dwFlags, bstrUrlContext, bstrUrl): no window
                // of the browser's own; the player's browser for a click.
                if (params->cArgs == 5 && params->rgvarg[3].vt == (VT_BYREF | VT_BOOL)) {
                    *params->rgvarg[3].pboolVal = VARIANT_TRUE;
                    const std::string url = ArgumentText(params->rgvarg[0]);
                    const bool clicked = (params->rgvarg[2].lVal & NWMF_USERINITED) != 0;
                    if (clicked && window::IsWebAddress(url)) {
                        ::ShellExecuteW(nullptr, L"open", params->rgvarg[0].bstrVal, nullptr,
                                        nullptr, SW_SHOWNORMAL);
                    }
                }
                return S_OK;
            default:
                return DISP_E_MEMBERNOTFOUND;
        }
    }

private:
    // A text argument of an event, given as it is or by reference.
    static std::string ArgumentText(const VARIANT& argument) {
        const VARIANT* v = &argument;
        if (v->vt == (VT_BYREF | VT_VARIANT) && v->pvarVal != nullptr) v = v->pvarVal;
        if (v->vt == VT_BSTR) return BstrUtf8(v->bstrVal);
        if (v->vt == (VT_BYREF | VT_BSTR) && v->pbstrVal != nullptr) return BstrUtf8(*v->pbstrVal);
        return {};
    }

    std::atomic<ULONG> references_{1};
    HWND pane_;
};
#pragma GCC diagnostic pop

CExplorer1::~CExplorer1() {
    if (events_ != nullptr) {
        events_->Unadvise(cookie_);
        events_->Release();
    }
    if (browser_ != nullptr) {
        IOleObject* object = nullptr;
        if (SUCCEEDED(
                browser_->QueryInterface(IID_IOleObject, reinterpret_cast<void**>(&object)))) {
            object->Close(OLECLOSE_NOSAVE);
            object->SetClientSite(nullptr);
            object->Release();
        }
        browser_->Release();
    }
    if (site_ != nullptr) site_->Release();
}

HWND CExplorer1::Create(HWND parent, int id, const RECT& place) {
    RegisterPaneClass();
    pane_ = ::CreateWindowExW(
        0, kPaneClass, L"", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, place.left, place.top,
        place.right - place.left, place.bottom - place.top, parent,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), ::GetModuleHandleW(nullptr), nullptr);
    return pane_;
}

void CExplorer1::Navigate(const std::string& url) {
    url_ = url;
    if (browser_ == nullptr || url_.empty()) return;
    const std::u16string wide = platform::utf8_to_utf16(url_);
    VARIANT address;
    ::VariantInit(&address);
    address.vt = VT_BSTR;
    address.bstrVal = ::SysAllocStringLen(reinterpret_cast<const OLECHAR*>(wide.data()),
                                          static_cast<UINT>(wide.size()));
    VARIANT flags;
    ::VariantInit(&flags);
    flags.vt = VT_I4;
    flags.lVal = kNavigateFlags;
    VARIANT empty;
    ::VariantInit(&empty);
    browser_->Navigate2(&address, &flags, &empty, &empty, &empty);
    ::VariantClear(&address);
}

bool CExplorer1::CreateBrowser(std::string& error) {
    if (browser_ != nullptr) return true;
    // Without its HTML engine the control shows no page, only a white
    // rectangle: that counts as no control (Wine without its browser).
    IUnknown* engine = nullptr;
    HRESULT result = ::CoCreateInstance(kHtmlDocument, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                        reinterpret_cast<void**>(&engine));
    if (FAILED(result)) {
        error = Failure("CoCreateInstance(HTMLDocument)", result);
        return false;
    }
    engine->Release();
    IOleObject* object = nullptr;
    result = ::CoCreateInstance(CLSID_WebBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_IOleObject,
                                reinterpret_cast<void**>(&object));
    if (FAILED(result)) {
        error = Failure("CoCreateInstance(WebBrowser)", result);
        return false;
    }
    site_ = new Site(pane_);
    RECT place;
    ::GetClientRect(pane_, &place);
    const char* step = "SetClientSite";
    result = object->SetClientSite(static_cast<IOleClientSite*>(site_));
    if (SUCCEEDED(result)) {
        step = "DoVerb(OLEIVERB_INPLACEACTIVATE)";
        result = object->DoVerb(OLEIVERB_INPLACEACTIVATE, nullptr,
                                static_cast<IOleClientSite*>(site_), 0, pane_, &place);
    }
    if (SUCCEEDED(result)) {
        step = "QueryInterface(IWebBrowser2)";
        result = object->QueryInterface(IID_IWebBrowser2, reinterpret_cast<void**>(&browser_));
    }
    // The rules of the pane live in its event handlers: no events, no pages.
    IConnectionPointContainer* points = nullptr;
    if (SUCCEEDED(result)) {
        step = "FindConnectionPoint(DWebBrowserEvents2)";
        result = browser_->QueryInterface(IID_IConnectionPointContainer,
                                          reinterpret_cast<void**>(&points));
    }
    if (SUCCEEDED(result)) {
        result = points->FindConnectionPoint(DIID_DWebBrowserEvents2, &events_);
        points->Release();
    }
    if (SUCCEEDED(result)) {
        step = "Advise";
        result = events_->Advise(static_cast<IDispatch*>(site_), &cookie_);
        if (FAILED(result)) {
            events_->Release();
            events_ = nullptr;
        }
    }
    if (FAILED(result)) {
        error = Failure(step, result);
        if (browser_ != nullptr) browser_->Release();
        browser_ = nullptr;
        object->Close(OLECLOSE_NOSAVE);
        object->SetClientSite(nullptr);
        object->Release();
        return false;
    }
    object->Release();

    browser_->put_Silent(VARIANT_TRUE);                 // no script error boxes
    browser_->put_RegisterAsDropTarget(VARIANT_FALSE);  // no dropped files
    browser_->put_RegisterAsBrowser(VARIANT_FALSE);     // no target for other windows' links
    Navigate(url_);
    return true;
}
