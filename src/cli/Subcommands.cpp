#include "cli/Subcommand.h"

#include "cli/FirmwareCommands.h"
#include "cli/FlashCommand.h"
#include "cli/SampleCommand.h"
#include "cli/SendCommand.h"
#include "cli/StorageCommands.h"
#include "cli/StoredCommand.h"
#include "cli/TaskLoop.h"
#include "cli/VersionCommand.h"

Subcommand Subcommand::ofTask(QString name, QString summary, RunTask task) {
    Subcommand sub{std::move(name), std::move(summary),
                   [task](const QStringList& arguments, const RunFlags& flags) {
                       return runToEnd(task(arguments, flags));
                   }};
    sub.task = std::move(task);
    return sub;
}

const std::vector<Subcommand>& allSubcommands() {
    static const std::vector<Subcommand> subcommands = {
        checkSubcommand(),    headerSubcommand(), sendSubcommand(),
        versionSubcommand(),  flashSubcommand(),  storeSubcommand(),
        readbackSubcommand(), storedSubcommand(), sampleSubcommand(),
    };
    return subcommands;
}
