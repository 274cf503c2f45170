#pragma once

#include <QString>

namespace devsim {
// The text of `velkor-devsim --help`: every option and how the simulator reads commands.
QString helpText();
} // namespace devsim
