#include "ui/patcher_dialog.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDesktopServices>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QMouseEvent>
#include <QProgressBar>
#include <QTest>
#include <QTimer>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineView>
#include <cstdlib>
#include <filesystem>
#include <functional>

#include "support/ended_run.h"
#include "support/files.h"
#include "support/launcher_log.h"
#include "support/temp_dir.h"
#include "ui/explorer.h"
#include "ui/explorer_module.h"
#include "ui/widgets.h"

namespace fs = std::filesystem;

namespace {

using window::LPARAM;
using window::WPARAM;

struct WindowTest : ::testing::Test {
    testsupport::TempDir dir;
    testsupport::RecordingReport unheard;  // of a run never started
    Cpatcher_client_MFCDlg window;
    PatchDownloader* run = nullptr;

    // A run that is never started, or one that has ended with `serverList`.
    void use(const std::string& serverList = "", bool ended = false) {
        PatchOptions unreachable;
        unreachable.updateListUrl = "http://127.0.0.1:9/x";
        auto downloader = ended ? testsupport::EndedRun(serverList)
                                : std::make_unique<PatchDownloader>(&unheard, unreachable);
        run = downloader.get();
        window.UseDownloader(std::move(downloader));
    }
    void SetUp() override { use(); }

    void post(window::UINT message, WPARAM wParam, LPARAM lParam) {
        window.messageTarget().PostMessage(message, wParam, lParam);
        QCoreApplication::processEvents();
    }
    QString text(const char* id) { return window.findChild<QLabel*>(id)->text(); }
    int bar(const char* id) { return window.findChild<QProgressBar*>(id)->value(); }
    bool shown(const char* id) { return window.findChild<QWidget*>(id)->isVisibleTo(&window); }
    QStringList listed() {
        QStringList names;
        auto* list = window.findChild<QListWidget*>("1018");
        for (int i = 0; i < list->count(); ++i) names << list->item(i)->text();
        return names;
    }
};

// The worker's messages reach the Qt controls (what each one does is the
// shared window's, tests/unit/window_test.cpp): status, info, speed,
// counter, the two bars, and whether the list and OYNA are shown.
TEST_F(WindowTest, EachWorkerMessageChangesWhatItShould) {
    use("Anadolu \xC4\x9F|x|y|a1|b1\r\n" + std::string(201, 'n') + "\xFD|||a|b\r\n", true);
    run->SetStatusText(
        "data\\harita \xFE"
        "ehir.map");  // CP1254 "şehir"
    const std::string now = "Güncelleniyor: data\\harita şehir.map|";
    const std::string sent = "|Hız: 300 KB/s|Dosya: 0 / 3|2500|5000|0";
    const std::tuple<window::UINT, WPARAM, LPARAM, std::string> steps[] = {
        {WM_PATCH_PROGRESS, (5000u << 16) | 2500u, 3 << 16, now + "||Dosya: 0 / 3|2500|5000|0"},
        {WM_PATCH_SPEED, (3725u << 16) | 300u, 0, now + "Kalan süre: 1s 2dk 5s" + sent},
        {WM_PATCH_DONE, 3, 0,
         "Güncelleme tamamlandı !|Sunucu listesi bekleniyor...|||10000|10000|1"},
        {WM_SERVERLIST_READY, 2, 0,
         "Güncelleme tamamlandı !|Oyun başlamaya hazır.|||10000|10000|1"},
    };
    for (const auto& [message, wParam, lParam, expected] : steps) {
        post(message, wParam, lParam);
        const QString seen = QStringList{text("1022"),
                                         text("1025"),
                                         text("1024"),
                                         text("1023"),
                                         QString::number(bar("1002")),
                                         QString::number(bar("1003")),
                                         QString::number(shown("1018") && shown("1030"))}
                                 .join('|');
        EXPECT_EQ(seen.toStdString(), expected) << message;
    }
    // A name beyond 200 UTF-16 units goes through the code page instead.
    EXPECT_EQ(listed(), (QStringList{"Anadolu ğ", QString(201, 'n') + "ı"}));
}

// OYNA or a double-click on the empty list: the settings are saved first,
// then the warning; Enter, Escape and Alt+F4 leave the window alone.
TEST_F(WindowTest, StartWithoutSelectionWarnsAndSavesTheSettingsAndKeysDoNothing) {
    post(WM_PATCH_DONE, 0, 0);
    auto* list = window.findChild<QListWidget*>("1018");
    for (const auto& start : std::initializer_list<std::function<void()>>{
             [&] { QTest::mouseClick(window.findChild<QWidget*>("1030"), Qt::LeftButton); },
             [&] { QTest::mouseDClick(list->viewport(), Qt::LeftButton); }}) {
        fs::remove_all("base");
        QString box;
        QTimer::singleShot(0, [&] {
            auto* b = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            box = b->windowTitle() + "|" + b->text();
            b->accept();
        });
        start();
        EXPECT_EQ(box, "Uyarı|Lütfen bir sunucu seçiniz.");
        EXPECT_EQ(testsupport::read_bytes("base/pref_launch.prefs").substr(0, 14),
                  "HDREnabled 0\r\n");
    }
    window.show();
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Escape}) QTest::keyClick(&window, key);
    EXPECT_FALSE(window.close());
    EXPECT_TRUE(window.isVisible());
}

// A game that cannot be started ends the launcher with -1 and says why; a
// missing hand-over program is logged with the system's text, and the
// launcher still ends with 0.
TEST(WindowGameStart, FailuresToStartTheGameOrTheHandOverAreLogged) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    if (std::getenv("VALDORA_UI_GAME_DIR") == nullptr) {  // the same one in the re-run
        char pattern[] = "/tmp/valdora-ui-game-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        ::setenv("VALDORA_UI_GAME_DIR", pattern, 1);
    }
    const fs::path game = std::getenv("VALDORA_UI_GAME_DIR");
    fs::current_path(game);
    EXPECT_EXIT(Cpatcher_client_MFCDlg().RunGame("A", "B"), ::testing::ExitedWithCode(255), "");
    EXPECT_EXIT(Cpatcher_client_MFCDlg().OnRunLaunchHelper(), ::testing::ExitedWithCode(0), "");
    EXPECT_EQ(testsupport::log_messages(game),
              (std::vector<std::string>{"valdora.exe \xE7"
                                        "al\xFD\xFEt\xFDr\xFDl\xFDrken hata: 2",
                                        "launch_helper.exe \xE7"
                                        "al\xFD\xFEt\xFDr\xFDl\xFDrken "
                                        "hata: No such file or directory"}));
    fs::current_path("/");
    fs::remove_all(game);
}

// A press, and a double-click, drags the window from a free spot of its skin
// or a status text, never from a control: a bar, or a web pane that has no
// page (before the window's first frame, or without the web module).
TEST_F(WindowTest, OnlyTheSkinAndItsTextsDragTheWindow) {
    const auto inside = [&](const char* id) {
        auto* w = window.findChild<QWidget*>(id);
        return w->mapTo(&window, QPoint(4, 4));
    };
    const struct {
        const char* what;
        QPoint at;
        bool drags;
    } cases[] = {{"skin", {150, 162}, true},
                 {"status text", inside("1022"), true},
                 {"bar", inside("1002"), false},
                 {"web pane", inside("1019"), false},
                 {"lower web pane", inside("1034"), false}};
    const QPoint start(100, 100), by(30, 20);
    for (const auto& c : cases) {
        ASSERT_EQ(window.findChild<CExplorer1*>("1019")->view(), nullptr);
        for (const QEvent::Type click : {QEvent::MouseButtonPress, QEvent::MouseButtonDblClick}) {
            window.move(start);
            // Where the window system delivers a press: the widget under it,
            // which passes it on to its parent unless it takes it.
            QWidget* under = window.childAt(c.at) != nullptr ? window.childAt(c.at) : &window;
            const auto send = [&](QWidget* to, QEvent::Type type, QPoint at,
                                  Qt::MouseButtons held) {
                QMouseEvent e(type, to->mapFrom(&window, at), window.mapToGlobal(at),
                              type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, held, {});
                QApplication::sendEvent(to, &e);
            };
            send(under, click, c.at, Qt::LeftButton);
            // A drag's moves reach the window whoever had the press.
            send(&window, QEvent::MouseMove, c.at + by, Qt::LeftButton);
            send(&window, QEvent::MouseButtonRelease, c.at + by, Qt::NoButton);
            EXPECT_EQ(window.pos(), c.drags ? start + by : start) << c.what << " " << click;
        }
    }
}

// However the window system delivers the second press of a double-click (a
// press and a double-click event with its timestamp, or the latter alone),
// each press is one click.
TEST(WindowButtons, ABitmapButtonReportsEachPressOnce) {
    BitmapButton button(146, true, nullptr);
    int clicks = 0;
    QObject::connect(&button, &BitmapButton::clicked, [&] { ++clicks; });
    const auto send = [&](QEvent::Type type, quint64 time) {
        QMouseEvent e(type, QPointF(5, 5), QPointF(5, 5), Qt::LeftButton,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, {});
        e.setTimestamp(time);
        QApplication::sendEvent(&button, &e);
    };
    for (const bool pressDelivered : {true, false}) {
        clicks = 0;
        send(QEvent::MouseButtonPress, 1);
        send(QEvent::MouseButtonRelease, 1);
        if (pressDelivered) send(QEvent::MouseButtonPress, 2);
        send(QEvent::MouseButtonDblClick, 2);
        send(QEvent::MouseButtonRelease, 2);
        EXPECT_EQ(clicks, 2) << pressDelivered;
    }
}

// Records what the launcher hands to the player's browser.
class Browser : public QObject {
    Q_OBJECT
public:
    QStringList opened;
public slots:
    void open(const QUrl& url) { opened << url.toString(); }
};

// The promotional panes make their browsers after the window's first frame,
// in the order they were pointed at their pages. Pages are remote content:
// no local files, no plugins or popups, no bridge into the program, and
// only a click of the player opens the browser, never a view inside.
TEST_F(WindowTest, WebPanesArriveAfterTheFirstFrameAndPagesStayInTheirPanes) {
    const QStringList ids = {"1019", "1020", "1034"};
    for (const QString& id : ids) {
        window.findChild<CExplorer1*>(id)->Navigate("http://127.0.0.1:9/" + id + ".aspx");
    }
    EXPECT_TRUE(window.findChildren<QWebEngineView*>().isEmpty());
    window.show();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return window.findChildren<QWebEngineView*>().size() == 3; }));
    for (const QString& id : ids) {
        auto* view = qobject_cast<QWebEngineView*>(window.findChild<CExplorer1*>(id)->view());
        ASSERT_NE(view, nullptr);
        QWebEnginePage* page = view->page();
        EXPECT_EQ(page->requestedUrl().toString(), "http://127.0.0.1:9/" + id + ".aspx");
        using S = QWebEngineSettings;
        for (S::WebAttribute off : {S::LocalContentCanAccessFileUrls, S::PluginsEnabled,
                                    S::JavascriptCanOpenWindows, S::NavigateOnDropEnabled}) {
            EXPECT_FALSE(page->settings()->testAttribute(off)) << off;
        }
        EXPECT_TRUE(page->profile()->isOffTheRecord());
    }

    const auto windows = QApplication::topLevelWidgets().size();
    Browser browser;
    QDesktopServices::setUrlHandler("http", &browser, "open");
    auto* view = qobject_cast<QWebEngineView*>(window.findChild<CExplorer1*>("1019")->view());
    bool loaded = false;
    QObject::connect(view, &QWebEngineView::loadFinished, [&](bool ok) { loaded = ok; });
    view->setHtml(
        "<body style='margin:0' onload=\"window.open('http://a.invalid/by-itself')\">"
        "<a href='http://b.invalid/link' target='_blank' style='display:block;height:40px'>a</a>"
        "<button style='width:100%;height:40px' onclick=\"window.open('http://c.invalid/js')\">"
        "b</button></body>",
        QUrl("http://127.0.0.1:9/"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return loaded; }, 20000));
    QString answers;
    view->page()->runJavaScript(
        "(function() { try { var x = new XMLHttpRequest(); x.open('GET', 'file:///etc/hostname', "
        "false); x.send(); return 'read' } catch (e) { return 'refused' } })() + ' ' + typeof qt",
        [&](const QVariant& v) { answers = v.toString(); });
    ASSERT_TRUE(QTest::qWaitFor([&] { return !answers.isEmpty(); }));
    EXPECT_EQ(answers, "refused undefined");
    for (const int y : {20, 60}) QTest::mouseClick(view->focusProxy(), Qt::LeftButton, {}, {10, y});
    EXPECT_TRUE(QTest::qWaitFor([&] { return browser.opened.size() == 2; }));
    EXPECT_EQ(browser.opened, (QStringList{"http://b.invalid/link", "http://c.invalid/js"}));
    EXPECT_EQ(window.findChildren<QWebEngineView*>().size(), 3);
    EXPECT_EQ(QApplication::topLevelWidgets().size(), windows);
    QDesktopServices::unsetUrlHandler("http");
}

// What cannot be opened as the web panes' module is refused with the
// reason (the launcher logs it and its panes stay black).
TEST(WebPanesModule, WhatCannotBeOpenedIsRefusedWithTheReason) {
    const std::span module = ExplorerModuleImage();
    const std::string text(100, 'x');
    const std::span other(reinterpret_cast<const unsigned char*>(text.data()), text.size());
    const struct {
        std::span<const unsigned char> image;
        const char* entry;
        const char* error;
    } cases[] = {{module, "valdora_no_such_entry", "no valdora_no_such_entry in the module"},
                 {other, kExplorerModuleEntry, "invalid ELF header"},
                 {{}, kExplorerModuleEntry, "file too short"}};
    for (const auto& c : cases) {
        std::string error;
        EXPECT_EQ(OpenModuleImage(c.image, c.entry, error), nullptr) << c.error;
        EXPECT_NE(error.find(c.error), std::string::npos) << error;
    }
}

}  // namespace

#include "patcher_dialog_test.moc"
