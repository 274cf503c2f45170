#pragma once

#include "cli/CliResult.h"
#include "cli/Subcommand.h"
#include "core/Task.h"

class CliSession;
struct OperationRow;
enum class Operation;

namespace QueryCommand {

// The subcommand of a query of the operation table: it takes the connection alone, prints the
// answer's line and puts the verdict's facts into --json; with several ids it is a fleet's
// inventory, one row per id.
Subcommand subcommand(const OperationRow& row);

// Runs the query on the session's controller with its journal entry, as the subcommand reports
// it (the answer's line as output, the facts as extra fields).
Task<CliResult> ask(CliSession& session, Operation operation);

} // namespace QueryCommand
