#pragma once

#include "FormModel.h"
#include "core/BarState.h"

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QProgressBar>
#include <QSpinBox>

// Brings one widget in line with its control in the form model, touching only the properties
// that differ, so that a pass over the whole window costs little and does not disturb the
// user's typing or the widget's focus.
namespace Mirror {

void state(QWidget* widget, const Control& control);
void hint(QWidget* widget, const QString& hint);
void button(QAbstractButton* button, const Control& control);
void check(QAbstractButton* box, const CheckControl& control);
void edit(QLineEdit* edit, const EditControl& control);
void combo(QComboBox* combo, const ComboControl& control);
void spin(QSpinBox* spin, const SpinControl& control);
void progress(QProgressBar* bar, const Control& control, const BarState& values);
void action(QAction* action, const MenuItem& item);

} // namespace Mirror
