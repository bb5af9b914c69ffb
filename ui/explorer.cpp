#include "ui/explorer.h"

#include <dlfcn.h>
#include <sys/mman.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QGuiApplication>
#include <QLayout>
#include <QMouseEvent>
#include <QOpenGLContext>
#include <QOpenGLWidget>
#include <QPainter>
#include <QTimer>
#include <QVBoxLayout>
#include <cerrno>
#include <cstring>

#include "log/launcher_log.h"
#include "platform/cp1254_literal.h"
#include "ui/explorer_module.h"

using namespace platform::literals;

// QtGui's own (the web engine declares them the same way): the context the
// application's OpenGL contexts share.
QT_BEGIN_NAMESPACE
Q_GUI_EXPORT QOpenGLContext* qt_gl_global_share_context();
Q_GUI_EXPORT void qt_gl_set_global_share_context(QOpenGLContext* context);
QT_END_NAMESPACE

// The web panes' module, built from ui/explorer_module.cpp and put into the
// program by the build (explorer_module_image.cpp there).
extern "C" const unsigned char valdora_explorer_module_begin[];
extern "C" const unsigned char valdora_explorer_module_end[];

namespace {

std::string LastErrorText(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
}

// X11 and Wayland draw a window with an OpenGL child through OpenGL; the
// offscreen platform has no OpenGL windows.
bool HasOpenGLWindows() {
    const QString system = QGuiApplication::platformName();
    return system == QLatin1String("xcb") || system.startsWith(QLatin1String("wayland"));
}

// Makes the OpenGL context the browsers share (PrepareWebPanes left it
// unmade). False when none can be made where the browsers draw through
// OpenGL: there they would take the launcher down.
bool MakeSharedContext() {
    QOpenGLContext* const shared = qt_gl_global_share_context();
    if (shared == nullptr || shared->isValid()) return true;
    shared->setScreen(QGuiApplication::primaryScreen());
    shared->setFormat(QSurfaceFormat::defaultFormat());
    return shared->create() || !HasOpenGLWindows();
}

// The module's browsers, ready on the first call; null, the reason logged
// once, when the shared OpenGL context or the module cannot be had.
ExplorerBrowsers* Browsers() {
    static ExplorerBrowsers* const browsers = [] {
        std::string error = "no OpenGL context can be made";
        ExplorerBrowsers* opened = nullptr;
        if (MakeSharedContext()) {
            auto* entry = reinterpret_cast<ExplorerBrowsers* (*)(int)>(
                OpenModuleImage(ExplorerModuleImage(), kExplorerModuleEntry, error));
            opened = entry != nullptr ? entry(kExplorerModuleVersion) : nullptr;
            if (entry != nullptr && opened == nullptr) error = "the module is of another version";
        }
        if (opened == nullptr)
            WriteLauncherLog("Web panelleri yüklenemedi: %s"_cp1254, error.c_str());
        return opened;
    }();
    return browsers;
}

}  // namespace

std::span<const unsigned char> ExplorerModuleImage() {
    return {valdora_explorer_module_begin, valdora_explorer_module_end};
}

void* OpenModuleImage(std::span<const unsigned char> image, const char* entry, std::string& error) {
    // A file in memory that only this process sees; the dynamic loader
    // opens it by the name of its descriptor.
    const int fd = ::memfd_create("valdora-web-panes", MFD_CLOEXEC);
    if (fd < 0) {
        error = LastErrorText("memfd_create");
        return nullptr;
    }
    for (std::size_t at = 0; at < image.size();) {
        const ssize_t n = ::write(fd, image.data() + at, image.size() - at);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            error = LastErrorText("write");
            ::close(fd);
            return nullptr;
        }
        at += static_cast<std::size_t>(n);
    }
    void* const module =
        ::dlopen(("/proc/self/fd/" + std::to_string(fd)).c_str(), RTLD_NOW | RTLD_LOCAL);
    if (module == nullptr) {
        error = ::dlerror();
        ::close(fd);
        return nullptr;
    }
    // The module stays open for good (the web engine cannot be unloaded),
    // and so does its descriptor: the loader knows the module by that name,
    // and would take a later file given the same number for it.
    void* const function = ::dlsym(module, entry);
    if (function == nullptr) error = std::string("no ") + entry + " in the module";
    return function;
}

void PrepareWebPanes() {
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    // The browsers' windows in their panes (CExplorer1::CreateView) make no
    // other widget a native one.
    QCoreApplication::setAttribute(Qt::AA_DontCreateNativeWidgetSiblings);
    // Not made yet: the web engine and the application see that one is
    // there and leave it; the first browser makes it (MakeSharedContext).
    if (qt_gl_global_share_context() == nullptr) qt_gl_set_global_share_context(new QOpenGLContext);
}

CExplorer1::CExplorer1(QWidget* parent) : QWidget(parent) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
}

void CExplorer1::Navigate(const QString& url) {
    url_ = url;
    if (view_ != nullptr) Browsers()->Load(view_, url);
}

void CExplorer1::paintEvent(QPaintEvent*) {
    QPainter(this).fillRect(rect(), Qt::black);
    // The web engine starts once this frame is on the screen.
    if (view_ == nullptr && !viewPending_) {
        viewPending_ = true;
        QTimer::singleShot(0, this, &CExplorer1::CreateView);
    }
}

void CExplorer1::mousePressEvent(QMouseEvent* event) {
    event->accept();
}

void CExplorer1::CreateView() {
    ExplorerBrowsers* const browsers = Browsers();
    if (browsers == nullptr) return;  // the pane stays black

    // The browser draws through OpenGL, and a window with an OpenGL child
    // composes everything it shows through OpenGL. So the browser gets a
    // window of its own, a child of the launcher's window over the pane, and
    // the launcher's window stays a plain one: its first frame loads no
    // OpenGL driver, and it is not made anew (vanishing for a moment) when
    // the browsers arrive. The browser's window is an OpenGL one from the
    // start (the hidden OpenGL widget): made anew later, it would leave the
    // pane.
    auto* browserWindow = new QWidget(this, Qt::Window | Qt::FramelessWindowHint);
    auto* inside = new QVBoxLayout(browserWindow);
    inside->setContentsMargins(0, 0, 0, 0);
    if (HasOpenGLWindows()) (new QOpenGLWidget(browserWindow))->hide();
    view_ = browsers->CreateBrowser(browserWindow);
    inside->addWidget(view_);
    browserWindow->resize(size());
    browserWindow->winId();
    QWidget* const container = QWidget::createWindowContainer(browserWindow->windowHandle(), this);
    // No native window for the pane or the launcher's other widgets
    // (Qt::AA_DontCreateNativeWidgetSiblings, PrepareWebPanes).
    container->setAttribute(Qt::WA_DontCreateNativeAncestors);
    layout()->addWidget(container);
    browserWindow->show();
    if (!url_.isEmpty()) browsers->Load(view_, url_);
}
