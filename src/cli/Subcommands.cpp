#include "cli/Subcommand.h"

const std::vector<Subcommand>& allSubcommands() {
    static const std::vector<Subcommand> subcommands = {};
    return subcommands;
}
