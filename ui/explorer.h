// A promotional web pane: an embedded browser that the window points at one
// page, once. It loads on its own and never blocks the window's thread.
//
// The browser is made only after the pane's first paint, so the launcher's
// window appears before the web engine starts; a page asked for earlier
// waits until then, and panes made in order load in that order. It draws
// in a window of its own over the pane, so the launcher's window never
// needs OpenGL.
//
// The pages are remote content and are kept to the pane: they cannot read
// local files (no file URLs, no file chooser, no dropped files), run no
// plugins, get no permissions, open no window or dialog inside the launcher
// and have no JavaScript bridge into the program. A link with a target or a
// window.open that the player clicked opens the http(s) address in the
// player's own browser (QDesktopServices); a page opens nothing by itself.
//
// The browsers come from the web panes' module (ui/explorer_module.h), which
// the launcher carries inside itself and opens with the first browser: the
// web engine's libraries are loaded only then. When it cannot be opened the
// reason is logged once and the panes stay black; the launcher works on.
#pragma once

#include <QString>
#include <QWidget>
#include <span>
#include <string>

// Called before the QApplication is made. The browser needs an OpenGL
// context shared by all; left to the web engine, it is made while the
// application starts (a good part of the time to the first frame). This
// has it made with the first pane's browser instead, and keeps the
// browsers' windows (each a native window in its pane) from making the
// launcher's other widgets native ones.
void PrepareWebPanes();

class CExplorer1 : public QWidget {
    Q_OBJECT
public:
    explicit CExplorer1(QWidget* parent);

    // Starts loading `url` (or keeps it for the browser still to be made)
    // and returns at once.
    void Navigate(const QString& url);

    // The page last asked for (empty before the first Navigate).
    const QString& navigatedUrl() const { return url_; }
    // The browser (a QWebEngineView), null before the pane's first paint
    // or when the web panes' module could not be opened.
    QWidget* view() const { return view_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    // A press on the pane is the pane's, with or without a page: it never
    // reaches the window, which would take it for a drag.
    void mousePressEvent(QMouseEvent* event) override;

private:
    void CreateView();

    QWidget* view_ = nullptr;
    QString url_;
    bool viewPending_ = false;
};

// The web panes' module (ui/explorer_module.h) as the program carries it.
std::span<const unsigned char> ExplorerModuleImage();

// Opens the shared object whose file is `image`, from memory (never a file
// on disk, so nothing beside launcher.exe), and returns the address of its
// function `entry`; null with the reason in `error` when that fails. The
// object stays open for the rest of the process.
void* OpenModuleImage(std::span<const unsigned char> image, const char* entry, std::string& error);
