// The web engine's side of the promotional panes (CExplorer1): the browsers
// themselves. It is built as a module of its own that launcher.exe carries
// inside itself and opens once its window is on the screen, so the program
// starts without loading the web engine's libraries; the launcher stays one
// file for the self-update. This header is compiled into both sides.
#pragma once

class QString;
class QWidget;

class ExplorerBrowsers {
public:
    virtual ~ExplorerBrowsers() = default;

    // A browser filling the pane `parent`, its child, kept to its pane: no
    // local files, plugins, permissions, dialogs or windows inside the
    // launcher, no bridge into the program; a new window the player asked
    // for opens in the player's browser. The pages share one profile kept
    // in memory only.
    virtual QWidget* CreateBrowser(QWidget* parent) = 0;

    // Starts loading `url` in a browser made by CreateBrowser.
    virtual void Load(QWidget* browser, const QString& url) = 0;
};

// The module's one exported function: its browsers, or null when the module
// was built for another version of this interface.
inline constexpr int kExplorerModuleVersion = 1;
inline constexpr const char* kExplorerModuleEntry = "valdora_explorer_browsers";
extern "C" ExplorerBrowsers* valdora_explorer_browsers(int version);
