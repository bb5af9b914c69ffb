// The settings dialog as every toolkit shares it: its controls, their texts
// and places in the template, and what each control does to the record.
//
// A toolkit's dialog derives from it and only draws and delivers: it makes
// the controls of kPreferencesControls, implements the operations under
// "The toolkit's part" on them and hands every click and change of choice to
// OnCommand. The record lives here (PreferencesStore) between openings; the
// controls are only a view of it, set again from the record whenever the
// window is shown, hidden, activated, deactivated or focused, so a choice
// reaches the record only through "OK".
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "settings/preferences_store.h"

namespace settings {

enum class FormControlKind { CheckBox, Label, Button, DefaultButton, DropDownList };

// One control of the template: a place in dialog units of its 8-point font.
struct FormControl {
    int id;  // 0: a label nothing refers to
    FormControlKind kind;
    const char* text;  // UTF-8
    int x, y, width, height;
};

// The controls in template order, which is also the tab order. The
// full-screen box (1009) is made hidden and never shown.
extern const FormControl kPreferencesControls[15];
inline constexpr int kFullscreenBox = 1009;
// The template: "Ayarlar Penceresi", 260 x 138 dialog units.
inline constexpr const char* kPreferencesCaption = "Ayarlar Penceresi";
inline constexpr int kPreferencesWidth = 260;
inline constexpr int kPreferencesHeight = 138;

// The items of a drop-down list (1012 .. 1016), UTF-8: an item's position is
// the record's value.
std::span<const char* const> ListItems(int id);

// A label's width: up to the list on its line. The template's own widths
// were made for a narrower face than today's 8-point sans fonts, whose
// texts would break or be cut there.
int LabelWidth(const FormControl& label);

}  // namespace settings

class PreferencesForm : public PreferencesStore {
public:
    // The result of Escape and the close box, the platform's cancel; "OK"
    // and "İptal" end the dialog with 0.
    static constexpr int kCancelResult = 2;

    using PreferencesStore::PreferencesStore;

    // Adds the option texts to every list that has none yet.
    void FillComboBoxes();
    // Shows the record in the controls.
    void UpdateControls();
    // Copies the controls into the record (not isp).
    void ReadControls();
    // The anisotropy list is usable from "İyi [Lineer-Anisotropik]" on.
    void UpdateAnisotropyEnable();

    // A click on a button, or another choice in the filtering list.
    void OnCommand(int id);

protected:
    // The toolkit's part, on the controls by id.
    virtual bool IsChecked(int id) = 0;
    virtual void SetChecked(int id, bool checked) = 0;
    virtual int ItemCount(int id) = 0;
    virtual void AddItem(int id, std::u16string_view text) = 0;
    // The selected item; -1 when none.
    virtual int Selection(int id) = 0;
    // Selects item `index` (within the list), or none for -1.
    virtual void Select(int id, int index) = 0;
    virtual void Enable(int id, bool enabled) = 0;
    // Ends the modal run with 0 and closes the window.
    virtual void CloseDialog() = 0;

private:
    void OnBnClickedDefaults();
    void OnBnClickedOk();
    void OnBnClickedCancel();
};
