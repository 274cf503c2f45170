#pragma once

#include "core/Dialogs.h"
#include "core/LoaderChoices.h"
#include "core/LoaderOutput.h"
#include "core/LoaderState.h"
#include "core/ReceiveRouter.h"
#include "core/Runtime.h"
#include "core/TerminalModel.h"
#include "core/Timings.h"

#include <memory>

// What the links work on: they open by the settings they are given and say how it went in the
// status panels (an error box where the user must act), keep the link state, feed what arrives to
// the routing rule, and run the terminal flush timer (Timer3) while a link is alive.
struct ConnectionParts {
    Runtime& runtime;
    Dialogs& dialogs;
    LoaderState& state;
    const LoaderChoices& choices;
    TerminalModel& terminal;
    LoaderOutput& output;
    ReceiveRouter& router;
    std::unique_ptr<Timer>& timer3;
    const Timings& timings;
};
