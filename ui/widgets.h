// The small controls of the launcher window: bitmap buttons, status texts
// and progress bars with the behaviour of the controls they stand for.
#pragma once

#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <functional>

// A picture that reports clicks (a bitmap static with click notification).
// One picture: no hover or pressed state. Each press of the left button is
// one click, also the second press of a double-click, however the window
// system delivers it (a press and a double-click event, or the latter alone).
class BitmapButton : public QLabel {
    Q_OBJECT
public:
    // Shows bitmap resource `bitmapId` (140 close, 142 start, ...).
    BitmapButton(int bitmapId, bool centred, QWidget* parent);

signals:
    void clicked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    quint64 lastPress_ = 0;  // the timestamp of the last press reported
};

// A one-line status text on black. Its colour is asked for at every paint
// (it depends on the run's state); clicks fall through to the window, so
// the window can be dragged by its status texts.
class StatusText : public QLabel {
    Q_OBJECT
public:
    StatusText(Qt::Alignment alignment, bool endEllipsis, QWidget* parent);

    void setColourSource(std::function<QColor()> source) { colour_ = std::move(source); }
    QColor textColour() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::function<QColor()> colour_;
    bool endEllipsis_;
};

// A smooth progress bar with the range 0..10000 that keeps clicks to
// itself, as the system's progress bar does.
class RunProgressBar : public QProgressBar {
    Q_OBJECT
public:
    explicit RunProgressBar(bool border, QWidget* parent);

    // PBM_SETPOS: values outside the range are clamped, not ignored.
    void SetPos(int position);

protected:
    void mousePressEvent(QMouseEvent* event) override;
};

// The server list: unsorted, and a double-click anywhere in it (on a line or
// not) is reported, as the system's list box does.
class ServerListBox : public QListWidget {
    Q_OBJECT
public:
    explicit ServerListBox(QWidget* parent);
    // LB_GETCURSEL: the selected line, -1 when none.
    int CurSel() const;

signals:
    void doubleClicked();

protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override;
};
