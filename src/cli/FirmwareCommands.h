#pragma once

#include "cli/Subcommand.h"

// velkor-cli check FILE: the integrity check of a firmware file.
Subcommand checkSubcommand();
// velkor-cli header FILE [--set TEXT]: shows or rewrites a firmware file's header.
Subcommand headerSubcommand();
