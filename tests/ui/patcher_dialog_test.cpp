#include "ui/patcher_dialog.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QProgressBar>
#include <QTest>
#include <QTimer>
#include <QtEndian>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>

#include "support/files.h"
#include "support/recording_target.h"
#include "support/temp_dir.h"
#include "ui/skin.h"
#include "ui/widgets.h"

namespace fs = std::filesystem;

namespace {

using platform::LPARAM;
using platform::WPARAM;

// A run that has ended in the current directory with the servers of
// `serverList` ("serverlist.txt", nothing to patch); its own posts go to a
// recorder, so the test plays the worker towards the window.
std::unique_ptr<PatchDownloader> EndedRun(const std::string& serverList) {
    static testsupport::RecordingTarget ignored;
    testsupport::write_bytes("list.txt", "b\r\nv\r\n");
    testsupport::write_bytes("serverlist.txt", serverList);
    LaunchValues values;
    values.switches.skipPatch = values.switches.serverTest = true;
    auto run = std::make_unique<PatchDownloader>(
        &ignored, "file://" + (fs::current_path() / "list.txt").string(), MakePatchOptions(values));
    run->Start();
    EXPECT_TRUE(run->WaitForEnd(std::chrono::seconds(20)));
    return run;
}

struct WindowTest : ::testing::Test {
    testsupport::TempDir dir;
    Cpatcher_client_MFCDlg window;
    PatchDownloader* run = nullptr;

    // A run that is never started, or one that has ended with `serverList`.
    void use(const std::string& serverList = "", bool ended = false) {
        auto downloader =
            ended ? EndedRun(serverList)
                  : std::make_unique<PatchDownloader>(&window.messageTarget(),
                                                      "http://127.0.0.1:9/x", PatchOptions());
        run = downloader.get();
        window.UseDownloader(std::move(downloader));
    }
    void SetUp() override { use(); }

    void post(platform::UINT message, WPARAM wParam, LPARAM lParam) {
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

QString u8(const char* text) {
    return QString::fromUtf8(text);
}

TEST_F(WindowTest, EachWorkerMessageChangesWhatItShould) {
    use("Anadolu \xC4\x9F|x|y|a1|b1\r\nEge|||a2|b2\r\n", true);
    run->SetStatusText(
        "data\\harita \xFE"
        "ehir.map");  // CP1254 "şehir"

    struct Step {
        platform::UINT message;
        WPARAM wParam;
        LPARAM lParam;
        const char* status;   // 1022
        const char* info;     // 1025
        const char* speed;    // 1024
        const char* counter;  // 1023
        int fileBar, runBar;
        bool listAndStart;
    };
    const Step steps[] = {
        {WM_PATCH_PROGRESS, (5000u << 16) | 2500u, (3 << 16) | 0,
         "Güncelleniyor: data\\harita şehir.map", "", "", "Dosya: 0 / 3", 2500, 5000, false},
        {WM_PATCH_SPEED, (125u << 16) | 300u, 0, "Güncelleniyor: data\\harita şehir.map",
         "Kalan süre: 2dk 5s", "Hız: 300 KB/s", "Dosya: 0 / 3", 2500, 5000, false},
        {WM_PATCH_PROGRESS, (9000u << 16) | 1u, (3 << 16) | 3,
         "Güncelleniyor: data\\harita şehir.map", "Kalan süre: 2dk 5s", "Hız: 300 KB/s",
         "Dosya: 3 / 3", 1, 9000, false},
        {WM_PATCH_SPEED, (3725u << 16) | 0u, 0, "Güncelleniyor: data\\harita şehir.map",
         "Kalan süre: 1s 2dk 5s", "Hız: 0 KB/s", "Dosya: 3 / 3", 1, 9000, false},
        {WM_PATCH_DONE, 3, 0, "Güncelleme tamamlandı !", "Sunucu listesi bekleniyor...", "", "",
         10000, 10000, true},
        {WM_SERVERLIST_READY, 0, 0, "Güncelleme tamamlandı !", "Oyun başlamaya hazır.", "", "",
         10000, 10000, true},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.message);
        post(s.message, s.wParam, s.lParam);
        EXPECT_EQ(text("1022"), u8(s.status));
        EXPECT_EQ(text("1025"), u8(s.info));
        EXPECT_EQ(text("1024"), u8(s.speed));
        EXPECT_EQ(text("1023"), u8(s.counter));
        EXPECT_EQ(bar("1002"), s.fileBar);
        EXPECT_EQ(bar("1003"), s.runBar);
        EXPECT_EQ(shown("1018"), s.listAndStart);
        EXPECT_EQ(shown("1030"), s.listAndStart);
    }
    EXPECT_EQ(listed(), (QStringList{u8("Anadolu ğ"), u8("Ege")}));
}

TEST_F(WindowTest, EndTextsAndAFailedRunNeverShownAsSuccess) {
    post(WM_PATCH_DONE, 0, 0);
    EXPECT_EQ(text("1022"), u8("Bütün dosyalar güncel durumda."));

    post(WM_PATCH_FAILED, (22u << 16) | 3u, 0);
    EXPECT_EQ(text("1022"), u8("Güncelleme tamamlanamadı !"));
    EXPECT_EQ(text("1025"), u8("Lütfen daha sonra tekrar deneyiniz."));
    post(WM_PATCH_DONE, 1, 0);
    EXPECT_EQ(text("1022"), u8("Güncelleme tamamlanamadı !"));
    EXPECT_EQ(text("1025"), u8("Sunucu listesi bekleniyor..."));
    EXPECT_TRUE(shown("1030"));

    // A name beyond 200 UTF-16 units goes through the code page instead.
    use(std::string(201, 'n') + "\xFD|||a|b\r\n|||a|b\r\n", true);
    post(WM_SERVERLIST_READY, 0, 0);
    EXPECT_EQ(listed(), (QStringList{QString(201, 'n') + u8("ı"), QString()}));
}

TEST_F(WindowTest, StatusColoursFollowSkipPatchAndTheFinishedRun) {
    const QColor white(255, 255, 255), green(0, 255, 0);
    auto* label = window.findChild<StatusText*>("1022");
    EXPECT_EQ(label->textColour(), white);
    use("", true);
    EXPECT_EQ(label->textColour(), green);
    LaunchValues skipping;
    skipping.switches.skipPatch = true;
    Cpatcher_client_MFCDlg skipWindow(skipping);
    for (const char* id : {"1022", "1023", "1024", "1025"}) {
        EXPECT_EQ(skipWindow.findChild<StatusText*>(id)->textColour(), green) << id;
    }
}

TEST_F(WindowTest, StartWithoutSelectionWarnsAndStillSavesTheSettings) {
    post(WM_PATCH_DONE, 0, 0);
    auto* list = window.findChild<QListWidget*>("1018");
    const std::function<void()> starts[] = {
        [&] { QTest::mouseClick(window.findChild<QWidget*>("1030"), Qt::LeftButton); },
        [&] { QTest::mouseDClick(list->viewport(), Qt::LeftButton); },
    };
    for (const auto& start : starts) {
        fs::remove_all("base");
        QString warning, caption;
        QTimer::singleShot(0, [&] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                warning = box->text();
                caption = box->windowTitle();
                box->accept();
            }
        });
        start();
        EXPECT_EQ(warning, u8("Lütfen bir sunucu seçiniz."));
        EXPECT_EQ(caption, u8("Uyarı"));
        EXPECT_EQ(testsupport::read_bytes("base/pref_launch.prefs").substr(0, 14),
                  "HDREnabled 0\r\n");
    }
}

TEST_F(WindowTest, KeysThatCloseADialogLeaveTheWindowAlone) {
    window.show();
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Escape}) QTest::keyClick(&window, key);
    EXPECT_FALSE(window.close());
    EXPECT_TRUE(window.isVisible());
}

// Death tests re-run the test in a fresh process; the game directory is
// passed on through the environment so both use the same one.
TEST(WindowGameStart, TheGameAndTheHandOverEndTheLauncherAsTheyShould) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    if (std::getenv("VALDORA_UI_GAME_DIR") == nullptr) {
        char pattern[] = "/tmp/valdora-ui-game-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        ::setenv("VALDORA_UI_GAME_DIR", pattern, 1);
    }
    const fs::path game = std::getenv("VALDORA_UI_GAME_DIR");
    fs::current_path(game);
    fs::copy_file(GAME_STAND_IN, game / "valdora.exe", fs::copy_options::overwrite_existing);
    ::setenv("VALDORA_GAME_EXIT", "1", 1);

    auto startOnTheFirstServer = [] {
        Cpatcher_client_MFCDlg window;
        window.UseDownloader(EndedRun("Birinci|||A|B\r\nIkinci|||C|D\r\n"));
        window.messageTarget().PostMessage(WM_PATCH_DONE, 0, 0);
        window.messageTarget().PostMessage(WM_SERVERLIST_READY, 2, 0);
        QCoreApplication::processEvents();
        window.findChild<QListWidget*>("1018")->setCurrentRow(0);
        QTest::mouseClick(window.findChild<QWidget*>("1030"), Qt::LeftButton);
    };
    EXPECT_EXIT(startOnTheFirstServer(), ::testing::ExitedWithCode(0), "");
    EXPECT_EQ(testsupport::read_bytes(game / "valdora_args.txt"), "A\nB\n2\n");
    EXPECT_TRUE(fs::exists(game / "base/pref_launch.prefs"));

    // No game to start: the log says so and the launcher ends with -1.
    fs::remove(game / "valdora.exe");
    EXPECT_EXIT(startOnTheFirstServer(), ::testing::ExitedWithCode(255), "");
    EXPECT_NE(testsupport::read_bytes(game / "base/launcher_log.txt")
                  .find(": valdora.exe \xE7"
                        "al\xFD\xFEt\xFDr\xFDl\xFDrken hata: 2\r\r\n"),
              std::string::npos);

    // No hand-over program: logged with the system's text, and still exit 0.
    auto handOver = [] { Cpatcher_client_MFCDlg().OnRunLaunchHelper(); };
    EXPECT_EXIT(handOver(), ::testing::ExitedWithCode(0), "");
    EXPECT_NE(testsupport::read_bytes(game / "base/launcher_log.txt")
                  .find(": launch_helper.exe \xE7"
                        "al\xFD\xFEt\xFDr\xFDl\xFDrken hata: No such file "
                        "or directory\r\r\n"),
              std::string::npos);
    fs::current_path("/");
    fs::remove_all(game);
}

// The region, counted straight from the BMP file's bytes.
TEST(WindowSkin, RegionIsExactlyTheSkinsOpaqueRuns) {
    (void)skin::LoadBitmap(139);  // registers the compiled-in pictures
    QFile file(":/skin/139.bmp");
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray b = file.readAll();
    const auto u32 = [&](int at) { return int(qFromLittleEndian<quint32>(b.constData() + at)); };
    ASSERT_EQ(b.left(2), "BM");
    const int offset = u32(10), width = u32(18), height = u32(22);
    ASSERT_EQ(QSize(width, height), QSize(640, 705));
    ASSERT_EQ(u32(28) & 0xFFFF, 24);  // bits per pixel
    ASSERT_EQ(u32(30), 0);            // uncompressed
    const int stride = (width * 3 + 3) / 4 * 4;

    Cpatcher_client_MFCDlg window;
    window.ShapeFromSkin();
    const QRegion region = window.mask();
    long pixels = 0;
    int maxRuns = 0;
    bool runAtRightEdge = false;
    for (int y = 0; y < height; ++y) {
        const char* row = b.constData() + offset + (height - 1 - y) * stride;  // bottom-up
        // Transparent is RGB(255, 0, 127), stored B, G, R.
        const auto opaque = [&](int x) { return std::memcmp(row + x * 3, "\x7F\0\xFF", 3) != 0; };
        std::vector<std::pair<int, int>> expected, actual;
        for (int x = 0; x < width; ++x) {
            if (opaque(x) && (x == 0 || !opaque(x - 1))) expected.emplace_back(x, x);
            if (opaque(x)) expected.back().second = x + 1;
        }
        for (const QRect& r : region.intersected(QRect(0, y, width, 1))) {
            actual.emplace_back(r.left(), r.right() + 1);
        }
        std::sort(actual.begin(), actual.end());
        ASSERT_EQ(actual, expected) << "row " << y;
        for (auto [start, end] : expected) pixels += end - start, runAtRightEdge |= end == width;
        maxRuns = std::max(maxRuns, static_cast<int>(expected.size()));
        EXPECT_TRUE(expected.empty() || (y > 0 && y < height - 1)) << "row " << y;
    }
    EXPECT_TRUE(runAtRightEdge);
    EXPECT_EQ(maxRuns, 6);
    long regionPixels = 0;
    for (const QRect& r : region) regionPixels += static_cast<long>(r.width()) * r.height();
    EXPECT_EQ(regionPixels, pixels);
}

}  // namespace
