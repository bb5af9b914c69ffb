#include "settings/preferences_dialog.h"

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

constexpr std::uint32_t k1GiB = 1u << 30;
const char* const kPrefs = "base/pref_launch.prefs";

template <typename W = QWidget>
W* control(QWidget& dialog, const char* id) {
    return dialog.findChild<W*>(QString::fromLatin1(id));
}

// As a player would: keyboard on the focused list, one item at a time.
void choose(QComboBox* combo, int index) {
    combo->setFocus();
    QTest::keyClick(combo, Qt::Key_Home);
    for (int i = 0; i < index; ++i) QTest::keyClick(combo, Qt::Key_Down);
}

// The controls as text: check boxes as 0/1, then each list's shown text.
std::string shown(QWidget& d) {
    std::string out = std::to_string(control<QCheckBox>(d, "1008")->isChecked()) +
                      std::to_string(control<QCheckBox>(d, "1009")->isChecked());
    for (const char* id : {"1012", "1013", "1014", "1015", "1016"}) {
        out += "|" + control<QComboBox>(d, id)->currentText().toStdString();
    }
    return out;
}

struct DialogTest : ::testing::Test {
    testsupport::TempDir dir;
    PreferencesDialog dialog{nullptr, [] { return k1GiB; }};

    void open(const std::string& file) {
        testsupport::write_bytes(kPrefs, file);
        dialog.LoadSettingsAtStartup();
        dialog.show();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    }
    void click(const char* id) { QTest::mouseClick(control(dialog, id), Qt::LeftButton); }
};

const char kFile[] =
    "TextureFiltering 3 TextureAnisotropy_PREF 4 ScreenResolution_PREF 15 "
    "LightmapDetail 2 TextureDetail 2 ISP 9";
const char kFileShown[] =
    "01|Çok İyi [Anisotropik]|32X (En Yüksek)|1920*1080|Yüksek Detay|Yüksek Detay";
const char kDefaultsShown[] = "11|İyi [Lineer-Anisotropik]|4X|1024*768|Düşük Detay|Orta Detay";

TEST_F(DialogTest, LaidOutFromDialogUnitsInTabOrder) {
    open("");
    EXPECT_EQ(dialog.windowTitle(), QString::fromUtf8("Ayarlar Penceresi"));
    EXPECT_EQ(dialog.size(), QSize(390, 224));
    struct Row {
        const char* id;
        QRect rect;
        const char* text;
    };
    const Row rows[] = {
        {"1008", {11, 11, 133, 23}, "Parlama Efekti"},
        {"1009", {234, 11, 146, 23}, "Tam Ekran"},
        {"1006", {11, 192, 132, 21}, "Varsayılan Ayarlara Dön"},
        {"1010", {341, 192, 39, 21}, "İptal"},
        {"1011", {296, 192, 39, 21}, "OK"},
        {"1012",
         {95, 42, 285, 20},
         "Kötü [Yakın-Lineer]|Orta [Lineer]|İyi [Lineer-Anisotropik]|Çok İyi [Anisotropik]"},
        {"1013", {128, 72, 252, 19}, "2X (En Düşük)|4X|8X|16X|32X (En Yüksek)"},
        {"1014",
         {113, 101, 267, 19},
         "1024*768|1024*600|1152*864|1280*720|1280*800|1280*960|1280*1024|1336*768|1366*768|1440*"
         "900|1440*1050|1600*900|1600*1000|1600*1200|1680*1050|1920*1080|1920*1200"},
        {"1015", {104, 130, 276, 20}, "Düşük Detay|Orta Detay|Yüksek Detay"},
        {"1016", {102, 159, 278, 20}, "Düşük Detay|Orta Detay|Yüksek Detay"},
    };
    QWidget* next = control(dialog, "1008");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.id);
        QWidget* w = control(dialog, row.id);
        EXPECT_EQ(w, next);  // the tab order is the layout's order
        EXPECT_EQ(w->geometry(), row.rect);
        QString text = w->property("text").toString();
        if (auto* combo = qobject_cast<QComboBox*>(w)) {
            QStringList items;
            for (int i = 0; i < combo->count(); ++i) items << combo->itemText(i);
            text = items.join('|');
            EXPECT_FALSE(combo->isEditable());
        }
        EXPECT_EQ(text, QString::fromUtf8(row.text));
        for (next = w->nextInFocusChain(); next->focusPolicy() == Qt::NoFocus;) {
            next = next->nextInFocusChain();
        }
    }
    EXPECT_TRUE(control<QPushButton>(dialog, "1011")->isDefault());
    EXPECT_FALSE(control(dialog, "1009")->isVisible());
    QStringList labels;
    for (QLabel* l : dialog.findChildren<QLabel*>()) labels << l->text();
    EXPECT_EQ(labels.join('|'), QString::fromUtf8("Doku Filtreleme:|Anisotropic Filtreleme:|Ekran "
                                                  "Çözünürlüğü:|Gölge Detayı:|Doku Detayı:"));
}

TEST_F(DialogTest, AnisotropyListIsUsableFromGoodFilteringOn) {
    open("TextureAnisotropy_PREF 3");
    auto* anisotropy = control<QComboBox>(dialog, "1013");
    EXPECT_FALSE(anisotropy->isEnabled());
    EXPECT_EQ(anisotropy->currentText(), "16X");  // shown while disabled
    for (const auto& [filtering, enabled] :
         {std::pair{2, true}, {1, false}, {3, true}, {0, false}}) {
        choose(control<QComboBox>(dialog, "1012"), filtering);
        EXPECT_EQ(anisotropy->isEnabled(), enabled) << filtering;
    }
}

TEST_F(DialogTest, OutOfRangeFilteringShowsNothingAndOkWritesMinusOne) {
    open("TextureFiltering 9");
    EXPECT_EQ(shown(dialog), "01||2X (En Düşük)|1024*768|Düşük Detay|Düşük Detay");
    EXPECT_FALSE(control(dialog, "1013")->isEnabled());
    click("1011");
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), 0);
    const std::string file = testsupport::read_bytes(kPrefs);
    EXPECT_NE(file.find("\r\nTextureFiltering -1\r\nTextureAnisotropy 2\r\n"), std::string::npos);
    EXPECT_EQ(file.find("TextureFilteringM"), std::string::npos);
}

TEST_F(DialogTest, OkSavesTheChoicesAndReadsThemBack) {
    open("Fullscreen 0");
    click("1008");
    choose(control<QComboBox>(dialog, "1012"), 1);
    choose(control<QComboBox>(dialog, "1014"), 7);
    choose(control<QComboBox>(dialog, "1016"), 2);
    click("1011");
    EXPECT_EQ(testsupport::read_bytes(kPrefs),
              "HDREnabled 1\r\nFullscreen 1\r\nTextureFiltering 1\r\nTextureFilteringMin 2\r\n"
              "TextureFilteringMag 1\r\nTextureMipmap 1\r\nTextureAnisotropy 2\r\n"
              "TextureAnisotropy_PREF 0\r\nScreenResolution_PREF 7\r\nScreenWidth 1336\r\n"
              "ScreenHeight 768\r\nLightmapDetail 0\r\nTextureDetail 2\r\nISP 3\r\n");
}

// "İptal" reads the file again; Escape and the close box run no handler.
TEST_F(DialogTest, DefaultsThenCancelEscapeOrCloseBox) {
    struct Case {
        const char* how;
        int result;
        const char* reopened;
    };
    for (const Case& c : {Case{"1010", 0, kFileShown}, Case{"escape", 2, kDefaultsShown},
                          Case{"close", 2, kDefaultsShown}}) {
        SCOPED_TRACE(c.how);
        open(kFile);
        click("1006");
        EXPECT_EQ(shown(dialog), kDefaultsShown);
        if (c.how == std::string("escape")) {
            QTest::keyClick(&dialog, Qt::Key_Escape);
        } else if (c.how == std::string("close")) {
            dialog.close();
        } else {
            click(c.how);
        }
        EXPECT_FALSE(dialog.isVisible());
        EXPECT_EQ(dialog.result(), c.result);
        EXPECT_EQ(dialog.preferences().isp, 9);
        dialog.show();
        EXPECT_EQ(shown(dialog), c.reopened);
        EXPECT_NE(testsupport::read_bytes(kPrefs).find("TextureDetail 2\r\n"), std::string::npos);
        dialog.hide();
    }
}

TEST_F(DialogTest, UnconfirmedChoiceIsLostOnDeactivation) {
    open(kFile);
    choose(control<QComboBox>(dialog, "1015"), 0);
    QWidget other;
    other.show();
    other.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
    dialog.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
    EXPECT_EQ(shown(dialog), kFileShown);
}

TEST_F(DialogTest, FullScreenBoxIsNeverShownAndCheckedAfterEveryRead) {
    open("Fullscreen 0");
    dialog.preferences().fullscreen = false;
    dialog.UpdateControls();
    EXPECT_FALSE(control<QCheckBox>(dialog, "1009")->isChecked());
    click("1010");
    dialog.show();
    EXPECT_TRUE(control<QCheckBox>(dialog, "1009")->isChecked());
    EXPECT_FALSE(control(dialog, "1009")->isVisible());
}

TEST_F(DialogTest, TooLittleMemoryShowsTheMessageOverTheDialogAndEnds) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    auto run = [this] {
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

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // Listing the tests (CTest's discovery) needs no display.
    if (GTEST_FLAG_GET(list_tests)) return RUN_ALL_TESTS();
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
