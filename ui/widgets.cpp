#include "ui/widgets.h"

#include <QMouseEvent>
#include <QPainter>

#include "ui/skin.h"

BitmapButton::BitmapButton(int bitmapId, bool centred, QWidget* parent) : QLabel(parent) {
    setPixmap(QPixmap::fromImage(skin::LoadBitmap(bitmapId)));
    setAlignment(centred ? Qt::AlignCenter : Qt::AlignLeft | Qt::AlignTop);
    setCursor(Qt::ArrowCursor);
    setAttribute(Qt::WA_TranslucentBackground);
}

void BitmapButton::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        event->accept();
        lastPress_ = event->timestamp();
        emit clicked();
    }
}

// The double-click event stands for the second press; it carries that
// press's timestamp. QWidget would report it as a press again.
void BitmapButton::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && event->timestamp() != lastPress_) {
        mousePressEvent(event);
    }
    event->accept();
}

StatusText::StatusText(Qt::Alignment alignment, bool endEllipsis, QWidget* parent)
    : QLabel(parent), endEllipsis_(endEllipsis) {
    setAlignment(alignment | Qt::AlignVCenter);
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

QColor StatusText::textColour() const {
    return colour_ ? colour_() : QColor(Qt::white);
}

void StatusText::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), Qt::black);
    p.setPen(textColour());
    p.setFont(font());
    const QString shown =
        endEllipsis_ ? fontMetrics().elidedText(text(), Qt::ElideRight, width()) : text();
    p.drawText(rect(), static_cast<int>(alignment()), shown);
}

RunProgressBar::RunProgressBar(bool border, QWidget* parent) : QProgressBar(parent) {
    setRange(0, 10000);
    setValue(0);
    setTextVisible(false);
    setStyleSheet(QStringLiteral("QProgressBar { background: #0b0b0e; border: %1; }"
                                 "QProgressBar::chunk { background: qlineargradient("
                                 "x1:0, y1:0, x2:0, y2:1, stop:0 #f4d67c, stop:0.5 #c9962c,"
                                 " stop:1 #7a5512); }")
                      .arg(border ? QStringLiteral("1px solid #8a6d1a") : QStringLiteral("none")));
}

void RunProgressBar::SetPos(int position) {
    setValue(qBound(0, position, 10000));
}

void RunProgressBar::mousePressEvent(QMouseEvent* event) {
    event->accept();
}

ServerListBox::ServerListBox(QWidget* parent) : QListWidget(parent) {
    setSortingEnabled(false);
    setSelectionMode(QAbstractItemView::SingleSelection);
    // A vertical scroll bar when the names need one, never a horizontal one.
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setTextElideMode(Qt::ElideRight);
    setStyleSheet(QStringLiteral(
        "QListWidget { background: #373737; color: #ffffff; border: 1px solid #8a6d1a; }"
        "QListWidget::item { background: #505050; color: #ffffff; padding: 1px 2px; }"
        "QListWidget::item:selected { background: #c9962c; color: #000000; }"
        "QScrollBar:vertical { background: #202024; width: 10px; margin: 0; }"
        "QScrollBar::handle:vertical { background: #8a6d1a; min-height: 16px; }"
        "QScrollBar::add-line:vertical, QScrollBar::sub-line:vertical { height: 0; }"));
}

int ServerListBox::CurSel() const {
    const QList<QListWidgetItem*> selected = selectedItems();
    return selected.isEmpty() ? -1 : row(selected.front());
}

void ServerListBox::mouseDoubleClickEvent(QMouseEvent* event) {
    QListWidget::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton) emit doubleClicked();
}
