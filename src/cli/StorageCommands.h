#pragma once

#include "cli/Subcommand.h"

// velkor-cli store: loads a firmware file into the controller's storage memory.
Subcommand storeSubcommand();
// velkor-cli readback: reads the stored firmware back into a file, checking its checksum.
Subcommand readbackSubcommand();
