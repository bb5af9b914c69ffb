#include "ui/explorer.h"

#include <QUrl>
#include <QVBoxLayout>
#include <QWebEngineView>

CExplorer1::CExplorer1(QWidget* parent) : QWidget(parent), view_(new QWebEngineView(this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view_);
    // Black until the page paints, like the frames around it.
    view_->page()->setBackgroundColor(Qt::black);
}

void CExplorer1::Navigate(const QString& url) {
    url_ = url;
    view_->load(QUrl(url));
}
