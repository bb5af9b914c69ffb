#include "ui/preferences_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QFont>
#include <QLabel>
#include <QPushButton>
#include <QRect>
#include <QShowEvent>
#include <QString>

namespace {

using settings::FormControl;
using settings::FormControlKind;

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

// A drop-down list's height in the layout includes its opened list; closed,
// it is one line.
constexpr int kComboHeight = 12;

QWidget* make(const FormControl& c, QWidget* parent) {
    const QString text = QString::fromUtf8(c.text);
    switch (c.kind) {
        case FormControlKind::CheckBox:
            return new QCheckBox(text, parent);
        case FormControlKind::Label:
            return new QLabel(text, parent);
        case FormControlKind::Button:
        case FormControlKind::DefaultButton: {
            auto* button = new QPushButton(text, parent);
            button->setDefault(c.kind == FormControlKind::DefaultButton);
            return button;
        }
        case FormControlKind::DropDownList: {
            auto* combo = new QComboBox(parent);
            combo->setEditable(false);
            combo->setFocusPolicy(Qt::StrongFocus);
            return combo;
        }
    }
    return nullptr;
}

}  // namespace

PreferencesDialog::PreferencesDialog(platform::MessageBoxes* messageTarget, MemoryQuery totalMemory)
    : QDialog(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      PreferencesForm(messageTarget, std::move(totalMemory)),
      messageBox_(this) {
    QFont font(QStringLiteral("Sans Serif"), 8, QFont::Normal);
    font.setStyleHint(QFont::SansSerif);
    // The layout was measured in a narrow 8-point face; the semi-condensed
    // width of today's sans fonts keeps every text inside its control.
    font.setStretch(QFont::SemiCondensed);
    setFont(font);
    setWindowTitle(QString::fromUtf8(settings::kPreferencesCaption));
    setFixedSize(dialog_units_x(settings::kPreferencesWidth),
                 dialog_units_y(settings::kPreferencesHeight));

    // Created in the order of the layout, which is also the tab order.
    for (const FormControl& c : settings::kPreferencesControls) {
        QWidget* w = make(c, this);
        const bool list = c.kind == FormControlKind::DropDownList;
        const int width = c.kind == FormControlKind::Label ? settings::LabelWidth(c) : c.width;
        w->setGeometry(from_dialog_units(c.x, c.y, width, list ? kComboHeight : c.height));
        if (c.id == 0) continue;
        w->setObjectName(QString::number(c.id));
        controls_[c.id] = w;
        if (firstControl_ == nullptr) firstControl_ = w;
        if (auto* button = qobject_cast<QPushButton*>(w)) {
            connect(button, &QPushButton::clicked, this, [this, id = c.id] { OnCommand(id); });
        } else if (auto* combo = qobject_cast<QComboBox*>(w)) {
            connect(combo, &QComboBox::activated, this, [this, id = c.id] { OnCommand(id); });
        }
    }
    // The game runs full screen; the box stays hidden and only carries the value.
    controls_.at(settings::kFullscreenBox)->setVisible(false);
}

PreferencesDialog::~PreferencesDialog() = default;

QCheckBox* PreferencesDialog::box(int id) const {
    return static_cast<QCheckBox*>(controls_.at(id));
}

QComboBox* PreferencesDialog::list(int id) const {
    return static_cast<QComboBox*>(controls_.at(id));
}

bool PreferencesDialog::IsChecked(int id) {
    return box(id)->isChecked();
}

void PreferencesDialog::SetChecked(int id, bool checked) {
    box(id)->setChecked(checked);
}

int PreferencesDialog::ItemCount(int id) {
    return list(id)->count();
}

void PreferencesDialog::AddItem(int id, std::u16string_view text) {
    list(id)->addItem(QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size())));
}

int PreferencesDialog::Selection(int id) {
    return list(id)->currentIndex();
}

void PreferencesDialog::Select(int id, int index) {
    list(id)->setCurrentIndex(index);
}

void PreferencesDialog::Enable(int id, bool enabled) {
    controls_.at(id)->setEnabled(enabled);
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
    if (!event->spontaneous()) firstControl_->setFocus(Qt::OtherFocusReason);
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
