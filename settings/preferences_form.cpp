#include "settings/preferences_form.h"

#include <iterator>

#include "platform/codepage.h"

namespace settings {

namespace {

using K = FormControlKind;

constexpr int kGlowBox = 1008;
constexpr int kDefaultsButton = 1006;
constexpr int kCancelButton = 1010;
constexpr int kOkButton = 1011;
constexpr int kFiltering = 1012;
constexpr int kAnisotropy = 1013;
constexpr int kResolution = 1014;
constexpr int kShadowDetail = 1015;
constexpr int kTextureDetail = 1016;

// Positions are the record values; the order must not change.
constexpr const char* kFilteringItems[] = {"Kötü [Yakın-Lineer]", "Orta [Lineer]",
                                           "İyi [Lineer-Anisotropik]", "Çok İyi [Anisotropik]"};
constexpr const char* kAnisotropyItems[] = {"2X (En Düşük)", "4X", "8X", "16X", "32X (En Yüksek)"};
constexpr const char* kResolutionItems[] = {
    "1024*768",  "1024*600",  "1152*864",  "1280*720",  "1280*800",  "1280*960",
    "1280*1024", "1336*768",  "1366*768",  "1440*900",  "1440*1050", "1600*900",
    "1600*1000", "1600*1200", "1680*1050", "1920*1080", "1920*1200"};
constexpr const char* kDetailItems[] = {"Düşük Detay", "Orta Detay", "Yüksek Detay"};

constexpr int kLists[] = {kFiltering, kAnisotropy, kResolution, kShadowDetail, kTextureDetail};

// From "İyi [Lineer-Anisotropik]" on, the anisotropy choice matters.
constexpr int kFirstAnisotropicFiltering = 2;

constexpr int kLabelGap = 2;

}  // namespace

const FormControl kPreferencesControls[15] = {
    {kGlowBox, K::CheckBox, "Parlama Efekti", 7, 7, 89, 14},
    {kFullscreenBox, K::CheckBox, "Tam Ekran", 156, 7, 97, 14},
    {0, K::Label, "Doku Filtreleme:", 7, 26, 52, 8},
    {0, K::Label, "Anisotropic Filtreleme:", 7, 44, 72, 8},
    {0, K::Label, "Ekran Çözünürlüğü:", 7, 62, 64, 8},
    {0, K::Label, "Gölge Detayı:", 7, 80, 44, 8},
    {0, K::Label, "Doku Detayı:", 7, 98, 42, 8},
    {kDefaultsButton, K::Button, "Varsayılan Ayarlara Dön", 7, 118, 88, 13},
    {kCancelButton, K::Button, "İptal", 227, 118, 26, 13},
    {kOkButton, K::DefaultButton, "OK", 197, 118, 26, 13},
    {kFiltering, K::DropDownList, "", 63, 26, 190, 12},
    {kAnisotropy, K::DropDownList, "", 85, 44, 168, 12},
    {kResolution, K::DropDownList, "", 75, 62, 178, 12},
    {kShadowDetail, K::DropDownList, "", 69, 80, 184, 12},
    {kTextureDetail, K::DropDownList, "", 68, 98, 185, 19},
};

std::span<const char* const> ListItems(int id) {
    switch (id) {
        case kFiltering:
            return kFilteringItems;
        case kAnisotropy:
            return kAnisotropyItems;
        case kResolution:
            return kResolutionItems;
        default:
            return kDetailItems;
    }
}

int LabelWidth(const FormControl& label) {
    for (const FormControl& c : kPreferencesControls) {
        if (c.kind == FormControlKind::DropDownList && c.y == label.y) {
            return c.x - kLabelGap - label.x;
        }
    }
    return label.width;
}

}  // namespace settings

using namespace settings;

void PreferencesForm::FillComboBoxes() {
    for (const int id : kLists) {
        if (ItemCount(id) != 0) continue;
        const int selected = Selection(id);
        for (const char* item : ListItems(id)) AddItem(id, platform::utf8_to_utf16(item));
        // Adding to an empty list may select its first item; a new list has none.
        Select(id, selected);
    }
}

void PreferencesForm::UpdateControls() {
    FillComboBoxes();
    const LaunchPreferences& prefs = preferences();
    SetChecked(kGlowBox, prefs.hdrEnabled);
    SetChecked(kFullscreenBox, prefs.fullscreen);
    const std::int32_t chosen[] = {prefs.textureFiltering, prefs.anisotropyLevel,
                                   prefs.screenResolution, prefs.lightmapDetail,
                                   prefs.textureDetail};
    for (std::size_t i = 0; i < std::size(kLists); ++i) {
        const std::int32_t index = chosen[i];
        Select(kLists[i], index >= 0 && index < ItemCount(kLists[i]) ? index : -1);
    }
    UpdateAnisotropyEnable();
}

void PreferencesForm::ReadControls() {
    LaunchPreferences& prefs = preferences();
    prefs.hdrEnabled = IsChecked(kGlowBox);
    prefs.fullscreen = IsChecked(kFullscreenBox);
    prefs.textureFiltering = Selection(kFiltering);
    prefs.anisotropyLevel = Selection(kAnisotropy);
    prefs.screenResolution = Selection(kResolution);
    prefs.lightmapDetail = Selection(kShadowDetail);
    prefs.textureDetail = Selection(kTextureDetail);
}

// A disabled list keeps and shows its choice, and "OK" still saves it.
void PreferencesForm::UpdateAnisotropyEnable() {
    Enable(kAnisotropy, Selection(kFiltering) >= kFirstAnisotropicFiltering);
}

void PreferencesForm::OnCommand(int id) {
    switch (id) {
        case kDefaultsButton:
            return OnBnClickedDefaults();
        case kOkButton:
            return OnBnClickedOk();
        case kCancelButton:
            return OnBnClickedCancel();
        case kFiltering:
            return UpdateAnisotropyEnable();  // OnCbnSelchangeFiltering
        default:
            return;
    }
}

void PreferencesForm::OnBnClickedDefaults() {
    ApplyMemoryDefaults();
    UpdateControls();
}

void PreferencesForm::OnBnClickedOk() {
    ReadControls();
    WriteSettingsFile();
    ReadSettingsFile();
    CloseDialog();
}

void PreferencesForm::OnBnClickedCancel() {
    ReadSettingsFile();
    CloseDialog();
}
