#pragma once

#include "TargetedFault.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <optional>

namespace devsim {

// How many answers one device has given to each command, counted under the command's fault
// keys, across all its sessions: a reconnect does not start the count again. It says which
// targeted fault, if any, hits the answer being counted.
class AnswerCounter {
public:
    explicit AnswerCounter(QList<TargetedFault> plan = {}) : plan_(std::move(plan)) {}

    // Counts one answer to command; the kind of the first fault of the plan aimed at it.
    std::optional<FaultKind> count(const QByteArray& command);

private:
    QList<TargetedFault> plan_;
    QHash<QByteArray, int> answers_;
};

} // namespace devsim
