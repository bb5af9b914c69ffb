#include "ui/preferences_dialog.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <cstdio>
#include <string>

#include "support/files.h"
#include "support/temp_dir.h"

namespace {

const char* const kPrefs = "base/pref_launch.prefs";

template <typename W = QWidget>
W* control(QWidget& dialog, const char* id) {
    return dialog.findChild<W*>(QString::fromLatin1(id));
}

// As a player would: the keyboard on the focused list, one item at a time.
void choose(QWidget& dialog, const char* id, int index) {
    auto* combo = control<QComboBox>(dialog, id);
    combo->setFocus();
    QTest::keyClick(combo, Qt::Key_Home);
    for (int i = 0; i < index; ++i) QTest::keyClick(combo, Qt::Key_Down);
}

// The check boxes as 0/1, then the text each list shows.
std::string shown(QWidget& d) {
    std::string out = std::to_string(control<QCheckBox>(d, "1008")->isChecked()) +
                      std::to_string(control<QCheckBox>(d, "1009")->isChecked());
    for (const char* id : {"1012", "1013", "1014", "1015", "1016"}) {
        out.append("|").append(control<QComboBox>(d, id)->currentText().toStdString());
    }
    return out;
}

struct DialogTest : ::testing::Test {
    testsupport::TempDir dir;
    PreferencesDialog dialog{nullptr, [] { return 1u << 30; }};

    void open(const std::string& file) {
        testsupport::write_bytes(kPrefs, file);
        dialog.LoadSettingsAtStartup();
        dialog.show();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    }
    void click(const char* id) { QTest::mouseClick(control(dialog, id), Qt::LeftButton); }
};

const char kFile[] =
    "TextureFiltering 3 TextureAnisotropy_PREF 4 ScreenResolution_PREF 15 LightmapDetail 2 "
    "TextureDetail 2 ISP 9";
const char kFileShown[] =
    "01|Çok İyi [Anisotropik]|32X (En Yüksek)|1920*1080|Yüksek Detay|Yüksek Detay";
const char kDefaultsShown[] = "11|İyi [Lineer-Anisotropik]|4X|1024*768|Düşük Detay|Orta Detay";

// Also: the full-screen box is checked after a read whatever the file says.
TEST_F(DialogTest, OutOfRangeFilteringShowsNothingAndOkWritesMinusOne) {
    open("TextureFiltering 9 Fullscreen 0");
    EXPECT_EQ(shown(dialog), "01||2X (En Düşük)|1024*768|Düşük Detay|Düşük Detay");
    EXPECT_FALSE(control(dialog, "1013")->isEnabled());
    click("1008");
    choose(dialog, "1014", 7);
    click("1011");
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), 0);
    EXPECT_EQ(testsupport::read_bytes(kPrefs),
              "HDREnabled 1\r\nFullscreen 1\r\nTextureFiltering -1\r\nTextureAnisotropy 2\r\n"
              "TextureAnisotropy_PREF 0\r\nScreenResolution_PREF 7\r\nScreenWidth 1336\r\n"
              "ScreenHeight 768\r\nLightmapDetail 0\r\nTextureDetail 0\r\nISP 3\r\n");
}

// "İptal" reads the file again; Escape and the close box run no handler.
TEST_F(DialogTest, DefaultsThenCancelEscapeOrCloseBox) {
    for (const auto& [how, result, reopened] : {std::tuple{"1010", 0, kFileShown},
                                                {"escape", 2, kDefaultsShown},
                                                {"close", 2, kDefaultsShown}}) {
        SCOPED_TRACE(how);
        open(kFile);
        click("1006");
        EXPECT_EQ(shown(dialog), kDefaultsShown);
        EXPECT_TRUE(control(dialog, "1013")->isEnabled());  // usable from "İyi" filtering on
        if (how == std::string("escape")) {
            QTest::keyClick(&dialog, Qt::Key_Escape);
        } else if (how == std::string("close")) {
            dialog.close();
        } else {
            click(how);
        }
        EXPECT_FALSE(dialog.isVisible());
        EXPECT_EQ(dialog.result(), result);
        dialog.show();
        EXPECT_EQ(shown(dialog), reopened);
        EXPECT_EQ(dialog.preferences().isp, 9);
        EXPECT_NE(testsupport::read_bytes(kPrefs).find("TextureDetail 2\r\n"), std::string::npos);
        dialog.hide();
    }
}

TEST_F(DialogTest, TooLittleMemoryShowsTheMessageOverTheDialogAndEnds) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    auto run = [] {
        PreferencesDialog small{nullptr, [] { return 299u << 20; }};
        small.show();
        QTimer::singleShot(0, [&small] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            std::fprintf(stderr, "owner %d caption %s\n", box->parentWidget() == &small,
                         box->windowTitle().toUtf8().constData());
            box->accept();
        });
        QTest::mouseClick(control(small, "1006"), Qt::LeftButton);
    };
    EXPECT_EXIT(run(), ::testing::ExitedWithCode(0), "owner 1 caption Hata!");
}

}  // namespace
