// A promotional web pane: an embedded browser that the window points at one
// page, once. It loads on its own and never blocks the window's thread.
//
// The browser is made only after the pane's first paint, so the launcher's
// window appears before the web engine starts; a page asked for earlier
// waits until then, and panes made in order load in that order.
//
// The pages are remote content and are kept to the pane: they cannot read
// local files (no file URLs, no file chooser, no dropped files), run no
// plugins, get no permissions, open no window or dialog inside the launcher
// and have no JavaScript bridge into the program. A link with a target or a
// window.open that the player clicked opens the http(s) address in the
// player's own browser (QDesktopServices); a page opens nothing by itself.
#pragma once

#include <QString>
#include <QWidget>

class QWebEngineView;

// Called before the QApplication is made. The browser needs an OpenGL
// context shared by all; left to the web engine, it is made while the
// application starts (a good part of the time to the first frame). This
// has it made with the first pane's browser instead.
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
    // The browser, null before the pane's first paint.
    QWebEngineView* view() const { return view_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void CreateView();

    QWebEngineView* view_ = nullptr;
    QString url_;
    bool viewPending_ = false;
};
