#include "Mirror.h"

#include "Icons.h"
#include "MainWindowTexts.h"

namespace {

const char* const kImageProperty = "velkorImageIndex";

void image(QAbstractButton* button, int imageIndex) {
    const QVariant shown = button->property(kImageProperty);
    if (shown.isValid() && shown.toInt() == imageIndex) {
        return;
    }
    button->setProperty(kImageProperty, imageIndex);
    button->setIcon(Icons::icon(imageIndex));
}

} // namespace

void Mirror::state(QWidget* widget, const Control& control) {
    // Only the widget's own setting is compared: a control inside a disabled group stays
    // enabled in its own right.
    const bool enabled = !widget->testAttribute(Qt::WA_ForceDisabled);
    if (enabled != control.enabled) {
        widget->setEnabled(control.enabled);
    }
    if (widget->isHidden() == control.visible) {
        widget->setVisible(control.visible);
    }
    hint(widget, control.hint);
}

void Mirror::hint(QWidget* widget, const QString& hint) {
    const QString shown = MainWindowTexts::display(hint);
    if (widget->toolTip() != shown) {
        widget->setToolTip(shown);
    }
}

void Mirror::button(QAbstractButton* button, const Control& control) {
    state(button, control);
    const QString caption = MainWindowTexts::buttonText(control.caption);
    if (!control.caption.isNull() && button->text() != caption) {
        button->setText(caption);
    }
    if (control.imageIndex >= 0) {
        image(button, control.imageIndex);
    }
}

void Mirror::check(QAbstractButton* box, const CheckControl& control) {
    button(box, control);
    if (box->isChecked() != control.checked) {
        box->setChecked(control.checked);
    }
}

void Mirror::edit(QLineEdit* edit, const EditControl& control) {
    state(edit, control);
    const int maxLength = control.maxLength > 0 ? control.maxLength : 32767;
    if (edit->maxLength() != maxLength) {
        edit->setMaxLength(maxLength);
    }
    if (edit->text() != control.text) {
        // Text put there by the program is not cut to the typing limit.
        if (control.text.size() > maxLength) {
            edit->setMaxLength(int(control.text.size()));
        }
        edit->setText(control.text);
    }
}

void Mirror::combo(QComboBox* combo, const ComboControl& control) {
    state(combo, control);
    QStringList items;
    items.reserve(combo->count());
    for (int i = 0; i < combo->count(); ++i) {
        items.append(combo->itemText(i));
    }
    if (items != control.items) {
        combo->clear();
        combo->addItems(control.items);
    }
    if (combo->currentIndex() != control.itemIndex) {
        combo->setCurrentIndex(control.itemIndex);
    }
    if (combo->isEditable() && combo->currentText() != control.text) {
        combo->setEditText(control.text);
    }
}

void Mirror::spin(QSpinBox* spin, const SpinControl& control) {
    state(spin, control);
    const int value = control.roundedValue();
    if (spin->value() != value) {
        spin->setValue(value);
    }
}

void Mirror::progress(QProgressBar* bar, const Control& control, const BarState& values) {
    state(bar, control);
    // A maximum of 0 would turn the bar into a busy indicator; it is shown as an empty bar.
    const int maximum = values.maximum > 0 ? values.maximum : 1;
    if (bar->maximum() != maximum || bar->minimum() != 0) {
        bar->setRange(0, maximum);
    }
    const int position = values.position < maximum ? values.position : maximum;
    if (bar->value() != position) {
        bar->setValue(position);
    }
    if (bar->isTextVisible() != !values.text.isEmpty() || bar->format() != values.text) {
        bar->setFormat(values.text);
        bar->setTextVisible(!values.text.isEmpty());
    }
}

void Mirror::action(QAction* action, const MenuItem& item) {
    if (action->isEnabled() != item.enabled) {
        action->setEnabled(item.enabled);
    }
    if (action->isVisible() != item.visible) {
        action->setVisible(item.visible);
    }
    if (action->text() != item.caption) {
        action->setText(item.caption);
    }
    if (action->isCheckable() && action->isChecked() != item.checked) {
        action->setChecked(item.checked);
    }
}
