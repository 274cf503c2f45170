#pragma once

#include "core/Loader.h"
#include "core/OperationResult.h"

// The outcome of a procedure whose controller fell silent: a cancel or a lost connection
// explains the silence where one happened (or the broker's word that it has no such controller),
// otherwise the controller did not answer.
inline Outcome outcomeOfSilence(const Loader& loader) {
    switch (loader.stopReason()) {
    case Loader::Stop::Cancelled:
        return Outcome::Cancelled;
    case Loader::Stop::LinkLost:
        return Outcome::LinkLost;
    case Loader::Stop::NotFound:
        return Outcome::NotFound;
    case Loader::Stop::None:
        break;
    }
    // While the controller was waited for, the broker said in the last attempt that it lacks it.
    return loader.state.ControllerMissing ? Outcome::NotFound : Outcome::NoAnswer;
}
