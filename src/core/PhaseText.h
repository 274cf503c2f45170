#pragma once

#include "Phase.h"

#include <QString>

// The words of status panel 3 for a phase of an operation, as the window and the shell show
// them.
namespace PhaseText {

QString status(const PhaseEvent& event);

} // namespace PhaseText
