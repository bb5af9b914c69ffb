#include "ui/explorer.h"

#include <dlfcn.h>
#include <sys/mman.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QGuiApplication>
#include <QLayout>
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

// The module's browsers, opened on the first call; null, the reason logged
// once, when the module cannot be opened.
ExplorerBrowsers* Browsers() {
    static ExplorerBrowsers* const browsers = [] {
        std::string error;
        const std::span image(valdora_explorer_module_begin, valdora_explorer_module_end);
        auto* entry = reinterpret_cast<ExplorerBrowsers* (*)(int)>(
            OpenModuleImage(image, kExplorerModuleEntry, error));
        ExplorerBrowsers* opened = entry != nullptr ? entry(kExplorerModuleVersion) : nullptr;
        if (entry != nullptr && opened == nullptr) error = "the module is of another version";
        if (opened == nullptr)
            WriteLauncherLog("Web panelleri yüklenemedi: %s"_cp1254, error.c_str());
        return opened;
    }();
    return browsers;
}

}  // namespace

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
    ::close(fd);  // the loader keeps what it mapped
    if (module == nullptr) {
        error = ::dlerror();
        return nullptr;
    }
    void* const function = ::dlsym(module, entry);
    if (function == nullptr) error = std::string("no ") + entry + " in the module";
    return function;  // the module stays open: the web engine cannot be unloaded
}

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

void CExplorer1::CreateView() {
    if (QOpenGLContext* shared = qt_gl_global_share_context(); shared && !shared->isValid()) {
        shared->setScreen(QGuiApplication::primaryScreen());
        shared->setFormat(QSurfaceFormat::defaultFormat());
        shared->create();
    }
    ExplorerBrowsers* const browsers = Browsers();
    if (browsers == nullptr) return;  // the pane stays black
    view_ = browsers->CreateBrowser(this);
    layout()->addWidget(view_);
    if (!url_.isEmpty()) browsers->Load(view_, url_);
}
