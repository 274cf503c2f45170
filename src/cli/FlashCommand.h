#pragma once

#include "cli/Subcommand.h"

// velkor-cli flash: the flash operation of the application, from a shell.
Subcommand flashSubcommand();
