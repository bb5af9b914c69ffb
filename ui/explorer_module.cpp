// The web panes' module (ui/explorer_module.h): the only code that uses
// QtWebEngine. Built as a shared module and carried inside launcher.exe.
#include "ui/explorer_module.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QUrl>
#include <QWebEngineNewWindowRequest>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineView>

#include "window/web_pages.h"

namespace {

bool IsWebAddress(const QUrl& url) {
    return window::IsWebAddress(url.toString().toStdString());
}

// One page of remote content, kept to its pane.
class PromoPage : public QWebEnginePage {
public:
    PromoPage(QWebEngineProfile* profile, QObject* parent) : QWebEnginePage(profile, parent) {
        using S = QWebEngineSettings;
        for (const S::WebAttribute off :
             {S::LocalContentCanAccessFileUrls, S::LocalContentCanAccessRemoteUrls,
              S::PluginsEnabled, S::PdfViewerEnabled, S::JavascriptCanOpenWindows,
              S::JavascriptCanAccessClipboard, S::JavascriptCanPaste,
              S::AllowWindowActivationFromJavaScript, S::FullScreenSupportEnabled,
              S::ScreenCaptureEnabled, S::NavigateOnDropEnabled, S::AllowRunningInsecureContent,
              S::AllowGeolocationOnInsecureOrigins}) {
            settings()->setAttribute(off, false);
        }
        // Black until the page paints, like the frames around it.
        setBackgroundColor(Qt::black);
        // A new window or tab the player asked for goes to the player's
        // browser; the page gets none (createWindow below).
        connect(this, &QWebEnginePage::newWindowRequested, this,
                [](QWebEngineNewWindowRequest& request) {
                    if (request.isUserInitiated() && IsWebAddress(request.requestedUrl())) {
                        QDesktopServices::openUrl(request.requestedUrl());
                    }
                });
        connect(this, &QWebEnginePage::featurePermissionRequested, this,
                [this](const QUrl& origin, Feature feature) {
                    setFeaturePermission(origin, feature, PermissionDeniedByUser);
                });
    }

protected:
    QWebEnginePage* createWindow(WebWindowType) override { return nullptr; }
    bool acceptNavigationRequest(const QUrl& url, NavigationType, bool isMainFrame) override {
        return !isMainFrame || window::PaneMayShow(url.toString().toStdString());
    }
    QStringList chooseFiles(FileSelectionMode, const QStringList&, const QStringList&) override {
        return {};
    }
    void javaScriptAlert(const QUrl&, const QString&) override {}
    bool javaScriptConfirm(const QUrl&, const QString&) override { return false; }
    bool javaScriptPrompt(const QUrl&, const QString&, const QString&, QString*) override {
        return false;
    }
};

class PromoBrowsers final : public ExplorerBrowsers {
public:
    QWidget* CreateBrowser(QWidget* parent) override {
        auto* view = new QWebEngineView(parent);
        view->setPage(new PromoPage(Profile(), view));
        view->setContextMenuPolicy(Qt::NoContextMenu);  // no "save page", no "view source"
        view->setAcceptDrops(false);
        return view;
    }

    void Load(QWidget* browser, const QString& url) override {
        static_cast<QWebEngineView*>(browser)->load(QUrl(url));
    }

private:
    // One profile for the three panes, kept in memory only: nothing of the
    // pages (cookies, cache, storage) is written to the player's disk.
    static QWebEngineProfile* Profile() {
        static QWebEngineProfile* const profile =
            new QWebEngineProfile(QCoreApplication::instance());
        return profile;
    }
};

}  // namespace

extern "C" __attribute__((visibility("default"))) ExplorerBrowsers* valdora_explorer_browsers(
    int version) {
    static PromoBrowsers browsers;
    return version == kExplorerModuleVersion ? &browsers : nullptr;
}
