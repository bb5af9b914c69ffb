#include "ui/patcher_dialog.h"

#include <QCloseEvent>
#include <QDesktopServices>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPainter>
#include <QScreen>
#include <QUrl>
#include <QWindow>
#include <cstdio>

#include "platform/system_info.h"
#include "ui/explorer.h"
#include "ui/skin.h"
#include "ui/widgets.h"
#include "window/controls.h"

namespace {

QString FromUtf16(std::u16string_view text) {
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

QRect ToQRect(const window::Rect& r) {
    return QRect(r.x, r.y, r.width, r.height);
}

}  // namespace

Cpatcher_client_MFCDlg::Cpatcher_client_MFCDlg(PatchOptions start)
    : PatcherWindow(std::move(start)), target_(this), skin_(skin::LoadBitmap(window::kSkinBitmap)) {
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    setAttribute(Qt::WA_DeleteOnClose, false);
    setFixedSize(window::WindowWidth(), window::WindowHeight());
    QFont font = QGuiApplication::font();
    font.setPointSize(8);
    setFont(font);
    createControls();
}

Cpatcher_client_MFCDlg::~Cpatcher_client_MFCDlg() {
    OnDestroy();
}

void Cpatcher_client_MFCDlg::createControls() {
    using window::ControlKind;
    // Template order, which is also the tab order.
    for (const window::Control& c : window::kControls) {
        QWidget* w = nullptr;
        switch (c.kind) {
            case ControlKind::WebPane:
                w = new CExplorer1(this);
                break;
            case ControlKind::ProgressBar:
                w = new RunProgressBar(c.bordered, this);
                break;
            case ControlKind::StatusText: {
                auto* text = new StatusText(c.rightAligned ? Qt::AlignRight : Qt::AlignLeft,
                                            c.ellipsis, this);
                text->setColourSource([this] { return QColor::fromRgb(StatusTextColour()); });
                w = text;
                break;
            }
            case ControlKind::ServerList: {
                auto* list = new ServerListBox(this);
                connect(list, &ServerListBox::doubleClicked, this,
                        [this, id = c.id] { OnCommand(id); });
                w = list;
                break;
            }
            case ControlKind::BitmapButton: {
                auto* button = new BitmapButton(c.bitmap, c.centred, this);
                connect(button, &BitmapButton::clicked, this, [this, id = c.id] { OnCommand(id); });
                w = button;
                break;
            }
        }
        w->setGeometry(ToQRect(window::ToPixels(c.units)));
        w->setObjectName(QString::number(c.id));
        w->setVisible(c.shown);
        controls_[c.id] = w;
    }
}

void Cpatcher_client_MFCDlg::SetControlText(int id, std::u16string_view text) {
    static_cast<StatusText*>(controls_.at(id))->setText(FromUtf16(text));
}

void Cpatcher_client_MFCDlg::SetBarPosition(int id, int position) {
    static_cast<RunProgressBar*>(controls_.at(id))->SetPos(position);
}

void Cpatcher_client_MFCDlg::ShowControl(int id) {
    controls_.at(id)->show();
}

void Cpatcher_client_MFCDlg::FocusControl(int id) {
    controls_.at(id)->setFocus();
}

void Cpatcher_client_MFCDlg::AddServerName(std::u16string_view name) {
    static_cast<ServerListBox*>(controls_.at(window::kServerList))->addItem(FromUtf16(name));
}

int Cpatcher_client_MFCDlg::SelectedServer() {
    return static_cast<ServerListBox*>(controls_.at(window::kServerList))->CurSel();
}

void Cpatcher_client_MFCDlg::ShapeWindow(std::u16string_view title) {
    // The castle of the skin's scene serves as the window's icon.
    setWindowIcon(QIcon(QPixmap::fromImage(skin_.copy(QRect(64, 150, 128, 128)))));
    for (const int pane : {window::kPromoPane2, window::kPromoPane3}) {
        controls_.at(pane)->setGeometry(ToQRect(window::PlaceInPixels(pane)));
    }
    setMask(skin::RegionFromSkin(skin_));
    setWindowTitle(FromUtf16(title));
}

void Cpatcher_client_MFCDlg::Navigate(int id, const std::string& url) {
    static_cast<CExplorer1*>(controls_.at(id))->Navigate(QString::fromStdString(url));
}

int Cpatcher_client_MFCDlg::DoModal() {
    // Centred on the screen, as the dialog template asks.
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        move(screen->availableGeometry().center() - rect().center());
    }
    show();
    return QCoreApplication::exec();
}

void Cpatcher_client_MFCDlg::EndWindowRun() {
    QCoreApplication::exit(0);
}

bool Cpatcher_client_MFCDlg::event(QEvent* e) {
    if (e->type() == UserMessageEvent::kType) {
        const auto* m = static_cast<UserMessageEvent*>(e);
        OnUserMessage(m->message, m->wParam, m->lParam);
        return true;
    }
    return QWidget::event(e);
}

void Cpatcher_client_MFCDlg::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.drawImage(0, 0, skin_);
    // For the start-up benchmark: when the player first sees the launcher.
    static bool firstFrame = true;
    if (firstFrame && qEnvironmentVariableIsSet("VALDORA_REPORT_FIRST_FRAME")) {
        std::fprintf(stderr, "valdora: first frame %lld ms after start\n",
                     static_cast<long long>(platform::milliseconds_since_process_start()));
    }
    firstFrame = false;
}

// Dragging from any free spot of the skin (and the status texts, which let
// clicks through) moves the window.
void Cpatcher_client_MFCDlg::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) return QWidget::mousePressEvent(e);
    // The window system moves the window where it can (under Wayland nothing
    // else can); without a window manager the window follows the mouse.
    if (windowHandle() != nullptr && windowHandle()->startSystemMove()) return e->accept();
    dragging_ = true;
    dragOffset_ = e->globalPosition().toPoint() - frameGeometry().topLeft();
    e->accept();
}

void Cpatcher_client_MFCDlg::mouseMoveEvent(QMouseEvent* e) {
    if (dragging_ && (e->buttons() & Qt::LeftButton)) {
        move(e->globalPosition().toPoint() - dragOffset_);
        e->accept();
    }
}

void Cpatcher_client_MFCDlg::mouseReleaseEvent(QMouseEvent* e) {
    dragging_ = false;
    QWidget::mouseReleaseEvent(e);
}

// Alt+F4 and the system's close command do nothing; only the close button
// (or a process-ending path) closes the launcher.
void Cpatcher_client_MFCDlg::closeEvent(QCloseEvent* e) {
    e->ignore();
}

// Enter and Escape do nothing either.
void Cpatcher_client_MFCDlg::keyPressEvent(QKeyEvent* e) {
    switch (e->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Escape:
            e->accept();
            return;
        default:
            QWidget::keyPressEvent(e);
    }
}

void Cpatcher_client_MFCDlg::OpenDocument(const char* file) {
    const QFileInfo document(QString::fromUtf8(file));
    if (document.isFile())
        QDesktopServices::openUrl(QUrl::fromLocalFile(document.absoluteFilePath()));
}
