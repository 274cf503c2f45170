#pragma once

#include "LinkSettings.h"

// What the engineer has chosen outside any one operation, read between operations and by what
// runs beside them (the terminal's commands, a link's notices): the link, the fast exchange,
// the wait for a controller the broker has not seen yet. The window writes it from its
// controls, the shell from its options; an operation's own choices come in its request.
struct LoaderChoices {
    LinkSettings link;
    bool fastExchange = false;
    bool waitForController = false;
};
