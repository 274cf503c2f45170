#pragma once

#include <QByteArray>

namespace devsim {

// The controller's reaction to one command.
struct Reply {
    QByteArray text;        // the answer (may be empty)
    bool pageWrite = false; // an accepted page write (counted by the close-after fault)
    bool restart = false;   // the controller restarts after answering
    bool slow = false;      // the controller erased flash first: a progress line may go ahead
};

} // namespace devsim
