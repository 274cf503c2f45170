#include "cli/Subcommand.h"

#include "cli/FirmwareCommands.h"
#include "cli/FlashCommand.h"
#include "cli/SampleCommand.h"
#include "cli/SendCommand.h"
#include "cli/StorageCommands.h"
#include "cli/StoredCommand.h"
#include "cli/VersionCommand.h"

const std::vector<Subcommand>& allSubcommands() {
    static const std::vector<Subcommand> subcommands = {
        checkSubcommand(),    headerSubcommand(), sendSubcommand(),
        versionSubcommand(),  flashSubcommand(),  storeSubcommand(),
        readbackSubcommand(), storedSubcommand(), sampleSubcommand(),
    };
    return subcommands;
}
