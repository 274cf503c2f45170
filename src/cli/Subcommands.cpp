#include "cli/Subcommand.h"

#include "cli/FirmwareCommands.h"
#include "cli/FlashCommand.h"
#include "cli/QueryCommand.h"
#include "cli/SampleCommand.h"
#include "cli/SendCommand.h"
#include "cli/StorageCommands.h"
#include "cli/TaskLoop.h"
#include "core/OperationTable.h"

#include <map>

Subcommand Subcommand::ofTask(QString name, QString summary, RunTask task) {
    Subcommand sub{std::move(name), std::move(summary),
                   [task](const QStringList& arguments, const RunFlags& flags) {
                       return runToEnd(task(arguments, flags));
                   }};
    sub.task = std::move(task);
    return sub;
}

namespace {

// The subcommand of a row of the operation table: the operations and send parse options of
// their own, a query takes the connection alone.
Subcommand subcommandOf(const OperationRow& row) {
    static const std::map<Operation, Subcommand (*)()> ownOptions = {
        {Operation::Send, sendSubcommand},
        {Operation::Flash, flashSubcommand},
        {Operation::Store, storeSubcommand},
        {Operation::ReadBack, readbackSubcommand},
    };
    const auto own = ownOptions.find(row.operation);
    return own != ownOptions.end() ? own->second() : QueryCommand::subcommand(row);
}

std::vector<Subcommand> makeSubcommands() {
    std::vector<Subcommand> subcommands = {checkSubcommand(), headerSubcommand()};
    for (const OperationRow& row : OperationTable::rows()) {
        subcommands.push_back(subcommandOf(row));
    }
    subcommands.push_back(sampleSubcommand());
    return subcommands;
}

} // namespace

const std::vector<Subcommand>& allSubcommands() {
    static const std::vector<Subcommand> subcommands = makeSubcommands();
    return subcommands;
}
