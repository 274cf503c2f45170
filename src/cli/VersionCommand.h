#pragma once

#include "cli/Subcommand.h"

// velkor-cli version: asks the controller its firmware version ("VER").
Subcommand versionSubcommand();
