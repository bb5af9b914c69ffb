// The settings dialog in Qt: the player's view of the game's graphics
// settings, drawing what PreferencesForm (preferences_form.h) decides.
//
// The main window holds one PreferencesDialog for its whole life and runs it
// modally (exec()) from its settings button.
#pragma once

#include <QDialog>
#include <map>

#include "settings/preferences_form.h"
#include "ui/dialog_message_box.h"

class QCheckBox;
class QComboBox;

class PreferencesDialog : public QDialog, public PreferencesForm {
    Q_OBJECT

public:
    explicit PreferencesDialog(platform::MessageBoxes* messageTarget = nullptr,
                               MemoryQuery totalMemory = {});
    ~PreferencesDialog() override;

    // Escape, the close box: closes and runs none of the handlers.
    void reject() override;

protected:
    MessageRoute MemoryMessageRoute() override;

    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void changeEvent(QEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;

    bool IsChecked(int id) override;
    void SetChecked(int id, bool checked) override;
    int ItemCount(int id) override;
    void AddItem(int id, std::u16string_view text) override;
    int Selection(int id) override;
    void Select(int id, int index) override;
    void Enable(int id, bool enabled) override;
    void CloseDialog() override { done(0); }

private:
    QCheckBox* box(int id) const;
    QComboBox* list(int id) const;

    std::map<int, QWidget*> controls_;
    QWidget* firstControl_ = nullptr;
    DialogMessageBox messageBox_;
};
