#include "cli/Subcommand.h"

#include "cli/FirmwareCommands.h"

const std::vector<Subcommand>& allSubcommands() {
    static const std::vector<Subcommand> subcommands = {
        checkSubcommand(),
        headerSubcommand(),
    };
    return subcommands;
}
