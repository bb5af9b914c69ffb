// A promotional web pane: an embedded browser that the window points at one
// page, once. It loads on its own and never blocks the window's thread;
// whatever the page does afterwards stays inside the pane.
#pragma once

#include <QString>
#include <QWidget>

class QWebEngineView;

class CExplorer1 : public QWidget {
    Q_OBJECT
public:
    explicit CExplorer1(QWidget* parent);

    // Starts loading `url` and returns at once.
    void Navigate(const QString& url);

    // The page last asked for (empty before the first Navigate).
    const QString& navigatedUrl() const { return url_; }

private:
    QWebEngineView* view_;
    QString url_;
};
