#pragma once

#include "cli/Subcommand.h"

// velkor-cli sample OUT: writes a small firmware file of our own for the demo and the tests.
Subcommand sampleSubcommand();
