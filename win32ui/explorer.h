// A promotional web pane: the system's WebBrowser control hosted in a child
// window of the launcher's window, pointed at one page, once. It loads on its
// own and never blocks the window's thread.
//
// The browser is made only after the window's first frame (CreateBrowser),
// so the launcher appears before the control starts; a page asked for
// earlier waits until then. When the control cannot be had the pane stays
// black and the launcher works on.
//
// The pages are kept to the pane (window/web_pages.h): a navigation to
// anything but a web page is cancelled, a new window the player asked for
// opens in the player's browser and every other one is refused, and the
// page gets no context menu, no dialogs, no plugins or other ActiveX
// controls, no dropped files and no bridge into the program
// (window.external). The top page is neither read from nor written to the
// cache.
#pragma once

#include <string>

#include "win32ui/win32.h"

class CExplorer1 {
public:
    CExplorer1() = default;
    ~CExplorer1();
    CExplorer1(const CExplorer1&) = delete;
    CExplorer1& operator=(const CExplorer1&) = delete;

    // The pane's window, a child `id` of `parent` at `place`.
    HWND Create(HWND parent, int id, const RECT& place);
    HWND Window() const { return pane_; }

    // Starts loading `url` (or keeps it for the browser still to be made)
    // and returns at once.
    void Navigate(const std::string& url);
    // Makes the browser in the pane and loads the page asked for. False,
    // with the reason in `error`, when the control cannot be made.
    bool CreateBrowser(std::string& error);
    bool HasBrowser() const { return browser_ != nullptr; }

private:
    class Site;

    HWND pane_ = nullptr;
    std::string url_;
    Site* site_ = nullptr;  // the control's container, counted
    struct IWebBrowser2* browser_ = nullptr;
    struct IConnectionPoint* events_ = nullptr;
    unsigned long cookie_ = 0;
};
