#include "settings/preferences_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFont>
#include <QLabel>
#include <QPushButton>
#include <QRect>
#include <QShowEvent>
#include <QString>
#include <span>

namespace {

// The dialog is laid out in dialog units of an 8-point sans font at 96 dpi:
// 4 horizontal units are 6 pixels, 8 vertical units 13 pixels. Each edge is
// mapped on its own and rounded, so neighbouring controls stay flush.
int dialog_units_x(int x) {
    return (x * 6 + 2) / 4;
}
int dialog_units_y(int y) {
    return (y * 13 + 4) / 8;
}
QRect from_dialog_units(int x, int y, int width, int height) {
    const int left = dialog_units_x(x);
    const int top = dialog_units_y(y);
    return QRect(left, top, dialog_units_x(x + width) - left, dialog_units_y(y + height) - top);
}

constexpr int kDialogWidth = 260;
constexpr int kDialogHeight = 138;
// A drop-down list's height in the layout includes its opened list; closed,
// it is one line.
constexpr int kComboHeight = 12;

// Positions are the record values; the order must not change.
constexpr const char* kFilteringItems[] = {"Kötü [Yakın-Lineer]", "Orta [Lineer]",
                                           "İyi [Lineer-Anisotropik]", "Çok İyi [Anisotropik]"};
constexpr const char* kAnisotropyItems[] = {"2X (En Düşük)", "4X", "8X", "16X", "32X (En Yüksek)"};
constexpr const char* kResolutionItems[] = {
    "1024*768",  "1024*600",  "1152*864",  "1280*720",  "1280*800",  "1280*960",
    "1280*1024", "1336*768",  "1366*768",  "1440*900",  "1440*1050", "1600*900",
    "1600*1000", "1600*1200", "1680*1050", "1920*1080", "1920*1200"};
constexpr const char* kDetailItems[] = {"Düşük Detay", "Orta Detay", "Yüksek Detay"};

// Each label runs up to its list: the layout's own label widths were made for
// a narrower font than the sans fonts of Linux desktops.
struct Label {
    const char* text;
    int y;
    int listX;
};
constexpr Label kLabels[] = {{"Doku Filtreleme:", 26, 63},
                             {"Anisotropic Filtreleme:", 44, 85},
                             {"Ekran Çözünürlüğü:", 62, 75},
                             {"Gölge Detayı:", 80, 69},
                             {"Doku Detayı:", 98, 68}};
constexpr int kLabelGap = 2;

// From "İyi [Lineer-Anisotropik]" on, the anisotropy choice matters.
constexpr int kFirstAnisotropicFiltering = 2;

template <typename Widget>
Widget* place(Widget* widget, const char* id, QRect rect) {
    if (id != nullptr) widget->setObjectName(QString::fromLatin1(id));
    widget->setGeometry(rect);
    return widget;
}

QComboBox* drop_down_list(QWidget* parent, const char* id, int x, int y, int width) {
    auto* combo = place(new QComboBox(parent), id, from_dialog_units(x, y, width, kComboHeight));
    combo->setEditable(false);
    combo->setFocusPolicy(Qt::StrongFocus);
    return combo;
}

void fill_once(QComboBox* combo, std::span<const char* const> items) {
    if (combo->count() != 0) return;
    const int selected = combo->currentIndex();
    for (const char* item : items) combo->addItem(QString::fromUtf8(item));
    // Adding to an empty list selects its first item; a new list has none.
    combo->setCurrentIndex(selected);
}

void select(QComboBox* combo, std::int32_t index) {
    combo->setCurrentIndex(index >= 0 && index < combo->count() ? index : -1);
}

}  // namespace

PreferencesDialog::PreferencesDialog(platform::MessageTarget* messageTarget,
                                     MemoryQuery totalMemory)
    : QDialog(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      PreferencesStore(messageTarget, std::move(totalMemory)),
      messageBox_(this) {
    QFont font(QStringLiteral("Sans Serif"), 8, QFont::Normal);
    font.setStyleHint(QFont::SansSerif);
    // The layout was measured in a narrow 8-point face; the semi-condensed
    // width of today's sans fonts keeps every text inside its control.
    font.setStretch(QFont::SemiCondensed);
    setFont(font);
    setWindowTitle(QString::fromUtf8("Ayarlar Penceresi"));
    setFixedSize(dialog_units_x(kDialogWidth), dialog_units_y(kDialogHeight));

    // Created in the order of the layout, which is also the tab order.
    glowEffect_ = place(new QCheckBox(QString::fromUtf8("Parlama Efekti"), this), "1008",
                        from_dialog_units(7, 7, 89, 14));
    // The game runs full screen; the box stays hidden and only carries the value.
    fullscreen_ = place(new QCheckBox(QString::fromUtf8("Tam Ekran"), this), "1009",
                        from_dialog_units(156, 7, 97, 14));
    fullscreen_->setVisible(false);
    for (const Label& label : kLabels) {
        place(new QLabel(QString::fromUtf8(label.text), this), nullptr,
              from_dialog_units(7, label.y, label.listX - kLabelGap - 7, 8));
    }
    auto* defaults = place(new QPushButton(QString::fromUtf8("Varsayılan Ayarlara Dön"), this),
                           "1006", from_dialog_units(7, 118, 88, 13));
    auto* cancel = place(new QPushButton(QString::fromUtf8("İptal"), this), "1010",
                         from_dialog_units(227, 118, 26, 13));
    auto* ok = place(new QPushButton(QString::fromUtf8("OK"), this), "1011",
                     from_dialog_units(197, 118, 26, 13));
    ok->setDefault(true);
    filtering_ = drop_down_list(this, "1012", 63, 26, 190);
    anisotropy_ = drop_down_list(this, "1013", 85, 44, 168);
    resolution_ = drop_down_list(this, "1014", 75, 62, 178);
    shadowDetail_ = drop_down_list(this, "1015", 69, 80, 184);
    textureDetail_ = drop_down_list(this, "1016", 68, 98, 185);

    connect(defaults, &QPushButton::clicked, this, [this] { OnBnClickedDefaults(); });
    connect(ok, &QPushButton::clicked, this, [this] { OnBnClickedOk(); });
    connect(cancel, &QPushButton::clicked, this, [this] { OnBnClickedCancel(); });
    connect(filtering_, &QComboBox::activated, this, [this] { OnCbnSelchangeFiltering(); });
}

PreferencesDialog::~PreferencesDialog() = default;

void PreferencesDialog::FillComboBoxes() {
    fill_once(filtering_, kFilteringItems);
    fill_once(anisotropy_, kAnisotropyItems);
    fill_once(resolution_, kResolutionItems);
    fill_once(shadowDetail_, kDetailItems);
    fill_once(textureDetail_, kDetailItems);
}

void PreferencesDialog::UpdateControls() {
    FillComboBoxes();
    const LaunchPreferences& prefs = preferences();
    glowEffect_->setChecked(prefs.hdrEnabled);
    fullscreen_->setChecked(prefs.fullscreen);
    select(filtering_, prefs.textureFiltering);
    select(anisotropy_, prefs.anisotropyLevel);
    select(resolution_, prefs.screenResolution);
    select(shadowDetail_, prefs.lightmapDetail);
    select(textureDetail_, prefs.textureDetail);
    UpdateAnisotropyEnable();
}

void PreferencesDialog::ReadControls() {
    LaunchPreferences& prefs = preferences();
    prefs.hdrEnabled = glowEffect_->isChecked();
    prefs.fullscreen = fullscreen_->isChecked();
    prefs.textureFiltering = filtering_->currentIndex();
    prefs.anisotropyLevel = anisotropy_->currentIndex();
    prefs.screenResolution = resolution_->currentIndex();
    prefs.lightmapDetail = shadowDetail_->currentIndex();
    prefs.textureDetail = textureDetail_->currentIndex();
}

// A disabled list keeps and shows its choice, and "OK" still saves it.
void PreferencesDialog::UpdateAnisotropyEnable() {
    anisotropy_->setEnabled(filtering_->currentIndex() >= kFirstAnisotropicFiltering);
}

void PreferencesDialog::reject() {
    QDialog::done(kCancelResult);
}

PreferencesStore::MessageRoute PreferencesDialog::MemoryMessageRoute() {
    if (isVisible()) return {&messageBox_, platform::BoxOwner::Window};
    return PreferencesStore::MemoryMessageRoute();
}

void PreferencesDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // Each opening starts on the first control, as a new dialog window would.
    if (!event->spontaneous()) glowEffect_->setFocus(Qt::OtherFocusReason);
    UpdateControls();
}

void PreferencesDialog::hideEvent(QHideEvent* event) {
    QDialog::hideEvent(event);
    UpdateControls();
}

void PreferencesDialog::changeEvent(QEvent* event) {
    QDialog::changeEvent(event);
    if (event->type() == QEvent::ActivationChange) UpdateControls();
}

void PreferencesDialog::focusInEvent(QFocusEvent* event) {
    QDialog::focusInEvent(event);
    UpdateControls();
}

void PreferencesDialog::OnBnClickedDefaults() {
    ApplyMemoryDefaults();
    UpdateControls();
}

void PreferencesDialog::OnBnClickedOk() {
    ReadControls();
    WriteSettingsFile();
    ReadSettingsFile();
    CloseDialog();
}

void PreferencesDialog::OnBnClickedCancel() {
    ReadSettingsFile();
    CloseDialog();
}

void PreferencesDialog::OnCbnSelchangeFiltering() {
    UpdateAnisotropyEnable();
}

void PreferencesDialog::CloseDialog() {
    done(0);
}
