#include "ui/explorer.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QOpenGLContext>
#include <QOpenGLWidget>
#include <QPainter>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>
#include <QWebEngineNewWindowRequest>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineView>

// QtGui's own (the web engine declares them the same way): the context the
// application's OpenGL contexts share.
QT_BEGIN_NAMESPACE
Q_GUI_EXPORT QOpenGLContext* qt_gl_global_share_context();
Q_GUI_EXPORT void qt_gl_set_global_share_context(QOpenGLContext* context);
QT_END_NAMESPACE

namespace {

bool IsWebAddress(const QUrl& url) {
    return url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https");
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
        return !isMainFrame || IsWebAddress(url) || url.scheme() == QLatin1String("data") ||
               url.scheme() == QLatin1String("about");
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

// One profile for the three panes, kept in memory only: nothing of the
// pages (cookies, cache, storage) is written to the player's disk.
QWebEngineProfile* PromoProfile() {
    static QWebEngineProfile* const profile = new QWebEngineProfile(QCoreApplication::instance());
    return profile;
}

}  // namespace

void PrepareWebPanes() {
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    // Not made yet: the web engine and the application see that one is
    // there and leave it; CreateView makes it.
    if (qt_gl_global_share_context() == nullptr) qt_gl_set_global_share_context(new QOpenGLContext);
}

CExplorer1::CExplorer1(QWidget* parent) : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    // The browser draws through OpenGL. A window shown without an OpenGL
    // child is made anew when the first one arrives (it vanishes and comes
    // back); this one, never shown, has the window made for it from the
    // start (X11 and Wayland; the offscreen platform has no OpenGL windows).
    const QString system = QGuiApplication::platformName();
    if (system == QLatin1String("xcb") || system.startsWith(QLatin1String("wayland"))) {
        (new QOpenGLWidget(this))->hide();
    }
}

void CExplorer1::Navigate(const QString& url) {
    url_ = url;
    if (view_ != nullptr) view_->load(QUrl(url));
}

void CExplorer1::paintEvent(QPaintEvent*) {
    QPainter(this).fillRect(rect(), Qt::black);
    // The web engine starts once this frame is on the screen.
    if (view_ == nullptr && !viewPending_) {
        viewPending_ = true;
        QTimer::singleShot(0, this, &CExplorer1::CreateView);
    }
}

void CExplorer1::CreateView() {
    if (QOpenGLContext* shared = qt_gl_global_share_context(); shared && !shared->isValid()) {
        shared->setScreen(QGuiApplication::primaryScreen());
        shared->setFormat(QSurfaceFormat::defaultFormat());
        shared->create();
    }
    view_ = new QWebEngineView(this);
    view_->setPage(new PromoPage(PromoProfile(), view_));
    view_->setContextMenuPolicy(Qt::NoContextMenu);  // no "save page", no "view source"
    view_->setAcceptDrops(false);
    layout()->addWidget(view_);
    if (!url_.isEmpty()) view_->load(QUrl(url_));
}
