// The settings dialog: the player's view of the game's graphics settings.
//
// The main window holds one PreferencesDialog for its whole life and runs it
// modally (exec()) from its settings button. The record lives here between
// openings; the controls are only a view of it, set again from the record
// whenever the window is shown, hidden, activated, deactivated or focused, so
// a choice reaches the record only through "OK".
#pragma once

#include <QDialog>

#include "settings/dialog_message_box.h"
#include "settings/preferences_store.h"

class QCheckBox;
class QComboBox;

class PreferencesDialog : public QDialog, public PreferencesStore {
    Q_OBJECT

public:
    // The result of Escape and the close box, the platform's cancel; "OK"
    // and "İptal" end the dialog with 0.
    static constexpr int kCancelResult = 2;

    explicit PreferencesDialog(platform::MessageTarget* messageTarget = nullptr,
                               MemoryQuery totalMemory = {});
    ~PreferencesDialog() override;

    // Adds the option texts to every list that has none yet.
    void FillComboBoxes();
    // Shows the record in the controls.
    void UpdateControls();
    // Copies the controls into the record (not isp).
    void ReadControls();
    // The anisotropy list is usable from "İyi [Lineer-Anisotropik]" on.
    void UpdateAnisotropyEnable();

    // Escape, the close box: closes and runs none of the handlers.
    void reject() override;

protected:
    MessageRoute MemoryMessageRoute() override;

    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void changeEvent(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;

private:
    void OnBnClickedDefaults();
    void OnBnClickedOk();
    void OnBnClickedCancel();
    void OnCbnSelchangeFiltering();
    void CloseDialog();

    QCheckBox* glowEffect_;     // 1008
    QCheckBox* fullscreen_;     // 1009, never shown
    QComboBox* filtering_;      // 1012
    QComboBox* anisotropy_;     // 1013
    QComboBox* resolution_;     // 1014
    QComboBox* shadowDetail_;   // 1015
    QComboBox* textureDetail_;  // 1016
    DialogMessageBox messageBox_;
};
