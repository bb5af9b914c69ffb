#include "ui/patcher_dialog.h"

#include <QCloseEvent>
#include <QDesktopServices>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QListWidget>
#include <QPainter>
#include <QScreen>
#include <QUrl>
#include <QWindow>
#include <cstdio>

#include "log/launcher_log.h"
#include "patch/messages.h"
#include "patch/progress_text.h"
#include "patch/self_update.h"
#include "platform/codepage.h"
#include "platform/cp1254_literal.h"
#include "platform/file.h"
#include "platform/last_error.h"
#include "platform/named_event.h"
#include "platform/process.h"
#include "platform/system_info.h"
#include "ui/dialog_units.h"
#include "ui/explorer.h"
#include "ui/skin.h"
#include "ui/widgets.h"

using namespace platform::literals;

namespace {

QString FromCp1254(std::string_view text) {
    const std::u16string wide = platform::cp1254_to_utf16(text);
    return QString::fromUtf16(wide.data(), static_cast<qsizetype>(wide.size()));
}

}  // namespace

Cpatcher_client_MFCDlg::Cpatcher_client_MFCDlg(LaunchValues start)
    : start_(std::move(start)), target_(this), skin_(skin::LoadBitmap(139)) {
    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    setAttribute(Qt::WA_DeleteOnClose, false);
    const QSize size =
        DialogUnits(QRect(0, 0, 425, 440)).size().expandedTo(QSize(skin::kWidth, skin::kHeight));
    setFixedSize(size);
    QFont font = QGuiApplication::font();
    font.setPointSize(8);
    setFont(font);
    createControls();
}

Cpatcher_client_MFCDlg::~Cpatcher_client_MFCDlg() {
    OnDestroy();
}

void Cpatcher_client_MFCDlg::createControls() {
    auto place = [](QWidget* w, int x, int y, int cx, int cy, const char* id) {
        w->setGeometry(DialogUnits(QRect(x, y, cx, cy)));
        w->setObjectName(QString::fromLatin1(id));
    };
    // Template order, which is also the tab order.
    promoPane1 = new CExplorer1(this);
    place(promoPane1, 185, 61, 201, 153, "1019");
    fileProgress = new RunProgressBar(false, this);
    place(fileProgress, 148, 260, 238, 13, "1002");
    totalProgress = new RunProgressBar(true, this);
    place(totalProgress, 148, 275, 238, 13, "1003");
    statusLabel = new StatusText(Qt::AlignLeft, true, this);
    place(statusLabel, 148, 230, 216, 8, "1022");
    infoLabel = new StatusText(Qt::AlignLeft, false, this);
    place(infoLabel, 148, 240, 168, 8, "1025");
    speedLabel = new StatusText(Qt::AlignLeft, false, this);
    place(speedLabel, 148, 248, 149, 8, "1024");
    counterLabel = new StatusText(Qt::AlignRight, false, this);
    place(counterLabel, 301, 248, 85, 8, "1023");
    for (StatusText* t : {statusLabel, infoLabel, speedLabel, counterLabel}) {
        t->setColourSource([this] { return StatusTextColour(); });
    }

    serverList = new ServerListBox(this);
    place(serverList, 27, 215, 89, 79, "1018");
    serverList->hide();
    connect(serverList, &ServerListBox::doubleClicked, this, [this] { StartGame(); });

    startButton = new BitmapButton(142, false, this);
    place(startButton, 26, 296, 91, 30, "1030");
    startButton->hide();
    connect(startButton, &BitmapButton::clicked, this, [this] { StartGame(); });

    auto* settings = new BitmapButton(144, false, this);
    place(settings, 284, 25, 47, 15, "1029");
    connect(settings, &BitmapButton::clicked, this, [this] { preferences.exec(); });
    auto* minimise = new BitmapButton(143, false, this);
    place(minimise, 346, 25, 17, 16, "1028");
    connect(minimise, &BitmapButton::clicked, this, [this] { showMinimized(); });
    auto* close = new BitmapButton(140, false, this);
    place(close, 370, 25, 17, 16, "1027");
    connect(close, &BitmapButton::clicked, this, [this] { OnClose(); });

    promoPane2 = new CExplorer1(this);
    place(promoPane2, 0, 379, 168, 54, "1020");
    auto* guide = new BitmapButton(146, true, this);
    place(guide, 192, 25, 77, 17, "1033");
    connect(guide, &BitmapButton::clicked, this, [this] { OpenGuide(); });
    promoPane3 = new CExplorer1(this);
    place(promoPane3, 219, 379, 168, 54, "1034");
}

bool Cpatcher_client_MFCDlg::OnInitDialog() {
    platform::delete_file(kLauncherLogPath);
    WriteKeptLauncherLogLines();  // what launch_helper.exe did before this start

    // Where another user could have put "_launcher.dll", the launcher goes on
    // as with -test_launcher: it patches the game but never hands over.
    if (!start_.switches.testLauncher && !SelfUpdateAllowedHere()) {
        start_.switches.testLauncher = true;
    }
    if (IsLauncherUpdatePending(start_.switches.testLauncher)) {
        OnUserMessage(WM_RUN_LAUNCH_HELPER, 0, 0);  // ends the process
    }

    SetText(statusLabel, "");
    SetText(infoLabel, "");
    SetText(speedLabel, "");
    SetText(counterLabel, "");
    totalProgress->SetPos(0);
    fileProgress->SetPos(0);

    // Taken in one step: of two launchers started at the same moment exactly
    // one gets the marker, and the other ends here, before it rewrites the
    // settings file of the one that runs.
    instanceEvent_ = std::make_unique<win32_event>(win32_event::create_t{}, kInstanceEventName);
    if (!instanceEvent_->holds()) platform::exit_process(-1);

    preferences.SetMessageTarget(&target_);
    preferences.LoadSettingsAtStartup();

    // The castle of the skin's scene serves as the window's icon.
    setWindowIcon(QIcon(QPixmap::fromImage(skin_.copy(QRect(64, 150, 128, 128)))));
    ShapeFromSkin();
    setWindowTitle(QString::fromUtf8("Valdora Oyunu Güncelleyicisi"));

    const QString site = QString::fromUtf8(start_.webSite);
    promoPane1->Navigate(site + "/LauncherPromo1.aspx");
    promoPane2->Navigate(site + "/LauncherPromo2.aspx");
    promoPane3->Navigate(site + "/LauncherPromo3.aspx");

    startButton->setFocus();

    downloader =
        std::make_unique<PatchDownloader>(&target_, start_.updateListUrl, MakePatchOptions(start_));
    downloader->Start();
    return true;
}

void Cpatcher_client_MFCDlg::ShapeFromSkin() {
    promoPane2->setGeometry(61, 554, 250, 118);
    promoPane3->setGeometry(341, 554, 250, 118);
    setMask(skin::RegionFromSkin(skin_));
}

int Cpatcher_client_MFCDlg::DoModal() {
    // Centred on the screen, as the dialog template asks.
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        move(screen->availableGeometry().center() - rect().center());
    }
    show();
    return QCoreApplication::exec();
}

// The close button: the player sees the launcher gone at once, the run is
// asked to end, and the window's run ends (PostQuitMessage(0)); OnDestroy
// follows.
void Cpatcher_client_MFCDlg::OnClose() {
    hide();
    target_.Close();
    if (downloader) downloader->RequestStop();
    QCoreApplication::exit(0);
}

void Cpatcher_client_MFCDlg::OnDestroy() {
    target_.Close();
    if (downloader) {
        // A run ends within about a second of a stop. One that does not (a
        // call that never returns) must not keep the process, its marker and
        // a player waiting: the launcher ends without it.
        if (!downloader->Stop(std::chrono::milliseconds(1000))) {
            instanceEvent_.reset();
            platform::exit_process(0);
        }
        downloader.reset();
    }
    instanceEvent_.reset();
}

bool Cpatcher_client_MFCDlg::event(QEvent* e) {
    if (e->type() == UserMessageEvent::kType) {
        const auto* m = static_cast<UserMessageEvent*>(e);
        OnUserMessage(m->message, m->wParam, m->lParam);
        return true;
    }
    return QWidget::event(e);
}

// The window's message map for what the worker posts.
long Cpatcher_client_MFCDlg::OnUserMessage(platform::UINT message, platform::WPARAM wParam,
                                           platform::LPARAM lParam) {
    switch (message) {
        case WM_PATCH_PROGRESS:
            return OnPatchProgress(wParam, lParam);
        case WM_PATCH_DONE:
            return OnPatchDone(wParam);
        case WM_PATCH_FAILED:
            return OnPatchFailed();
        case WM_PATCH_SPEED:
            return OnPatchSpeed(wParam, lParam);
        case WM_SERVERLIST_READY:
            return OnServerListReady();
        case WM_PATCH_QUIT:
            platform::exit_process(0);
        case WM_RUN_LAUNCH_HELPER:
            OnRunLaunchHelper();
        default:
            return 0;
    }
}

void Cpatcher_client_MFCDlg::SetText(StatusText* label, const std::string& cp1254) {
    label->setText(FromCp1254(cp1254));
}

long Cpatcher_client_MFCDlg::OnPatchProgress(platform::WPARAM wParam, platform::LPARAM lParam) {
    const PatchProgressView view =
        DescribePatchProgress(wParam, lParam, downloader ? downloader->GetStatusText() : "");
    SetText(statusLabel, view.statusText);
    SetText(counterLabel, view.counterText);
    fileProgress->SetPos(view.filePosition - 2);
    totalProgress->SetPos(view.runPosition - 2);
    fileProgress->SetPos(view.filePosition);
    totalProgress->SetPos(view.runPosition);
    return 0;
}

long Cpatcher_client_MFCDlg::OnPatchSpeed(platform::WPARAM wParam, platform::LPARAM) {
    const PatchSpeedView view = DescribePatchSpeed(wParam);
    SetText(speedLabel, view.speedText);
    SetText(infoLabel, view.remainingText);
    return 0;
}

long Cpatcher_client_MFCDlg::OnPatchDone(platform::WPARAM wParam) {
    fileProgress->SetPos(9998);
    totalProgress->SetPos(9998);
    fileProgress->SetPos(10000);
    totalProgress->SetPos(10000);
    ShowPatchResult(wParam != 0);
    return 0;
}

// A failed run is never shown as a success: the failure text stays until
// the run ends.
long Cpatcher_client_MFCDlg::OnPatchFailed() {
    patchFailed_ = true;
    SetText(statusLabel, kPatchFailedText);
    SetText(infoLabel, kTryLaterText);
    return 0;
}

void Cpatcher_client_MFCDlg::ShowPatchResult(bool filesWereUpdated) {
    SetText(statusLabel, patchFailed_ ? kPatchFailedText : PatchDoneText(filesWereUpdated ? 1 : 0));
    SetText(infoLabel, kWaitingForServersText);
    SetText(speedLabel, "");
    SetText(counterLabel, "");
    startButton->show();
    serverList->show();
    startButton->setFocus();
}

long Cpatcher_client_MFCDlg::OnServerListReady() {
    SetText(infoLabel, kGameReadyText);
    servers = downloader ? downloader->GetServers() : std::vector<ServerEntry>();
    for (const ServerEntry& entry : servers) {
        // UTF-8 names up to 200 UTF-16 units; anything else through the code page.
        QString name =
            QString::fromUtf8(entry.name.data(), static_cast<qsizetype>(entry.name.size()));
        if (name.isEmpty() || name.size() > 200) name = FromCp1254(entry.name);
        serverList->addItem(name);
    }
    return 0;
}

QColor Cpatcher_client_MFCDlg::StatusTextColour() const {
    const bool finished = start_.switches.skipPatch || (downloader && downloader->IsFinished());
    return finished ? QColor(0, 255, 0) : QColor(255, 255, 255);
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

void Cpatcher_client_MFCDlg::StartGame() {
    preferences.WriteSettingsFile();
    const int index = serverList->CurSel();
    if (index < 0 || index >= static_cast<int>(servers.size())) {
        target_.MessageBox(u"Lütfen bir sunucu seçiniz.", u"Uyarı", platform::MB_OK,
                           platform::BoxOwner::Window);
        return;
    }
    const ServerEntry entry = servers[static_cast<std::size_t>(index)];
    RunGame(entry.gameArg1, entry.gameArg2);
}

void Cpatcher_client_MFCDlg::RunGame(const std::string& gameArg1, const std::string& gameArg2) {
    if (gameArg1.empty()) return;
    // The fields reach the game as the code page reads them; the words are
    // split at blanks and passed without a shell.
    const std::string parameters =
        platform::cp1254_to_utf8(gameArg1) + " " + platform::cp1254_to_utf8(gameArg2) + " 2";

    auto started = platform::NamedEvent::create("trovhal");
    const auto game =
        platform::spawn_process("valdora.exe", platform::split_parameters(parameters));
    if (!game) {
        WriteLauncherLog("valdora.exe çalıştırılırken hata: %d"_cp1254, platform::last_error());
        started.reset();
        platform::exit_process(-1);
    }
    if (started) started->wait_for(std::chrono::milliseconds(30000));
    started.reset();
    platform::exit_process(0);
}

void Cpatcher_client_MFCDlg::OnRunLaunchHelper() {
    if (!platform::spawn_process("launch_helper.exe", {})) {
        WriteLauncherLog("launch_helper.exe çalıştırılırken hata: %s"_cp1254,
                         platform::error_text(platform::last_error()).c_str());
    }
    platform::exit_process(0);
}

void Cpatcher_client_MFCDlg::OpenGuide() {
    const QFileInfo guide(QStringLiteral("valdora_oyun_rehberi.pdf"));
    if (guide.isFile()) QDesktopServices::openUrl(QUrl::fromLocalFile(guide.absoluteFilePath()));
}
