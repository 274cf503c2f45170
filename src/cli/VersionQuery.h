#pragma once

#include "cli/CliResult.h"
#include "core/Task.h"

#include <QString>
#include <optional>

class CliSession;

// The controller's firmware version as one query asks it ("VER", asked again while its answer
// is lost), with its journal entry: the version subcommand's inventory and the flash that skips
// controllers already running a version ask it the same way, so the inventory shows exactly
// what the flash will judge by.
namespace VersionQuery {

struct Asked {
    CliResult result;               // the query's, as the version subcommand reports it
    std::optional<QString> version; // the answer's words, when it came
};

Task<Asked> ask(CliSession& session);

// Whether the version is one the operator names: it holds the text as written.
bool holds(const QString& version, const QString& text);

} // namespace VersionQuery
