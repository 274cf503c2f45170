#pragma once

#include "cli/Subcommand.h"

// velkor-cli stored: what the controller's storage memory holds, by its descriptor.
Subcommand storedSubcommand();
