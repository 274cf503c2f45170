#pragma once

#include "cli/Subcommand.h"

// velkor-cli send: opens the connection and sends command texts, printing each answer.
Subcommand sendSubcommand();
