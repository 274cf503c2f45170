#pragma once

#include "core/Answer.h"
#include "core/OperationRequest.h"
#include "core/OperationResult.h"
#include "core/Task.h"

class Loader;

// The queries the shell asks a controller, run by the driver as the operations are: the link
// opened and closed, the outcome typed, the journal written from the one mapping.
class QueryProcedure {
public:
    explicit QueryProcedure(Loader& loader) : loader_(loader) {}

    // Each of the request's commands once, exactly as given; every answer kept as it came.
    // Ends at the first command without a usable answer.
    Task<Verdict> send(const OperationRequest& request);
    // The controller's firmware version: "VER", asked again while its answer is lost.
    Task<Verdict> version();

private:
    Task<Verdict> sendOne(QByteArray text, Verdict& verdict);
    Verdict unanswered(const Answer& answer) const;
    static QString versionLine(const Answer& answer);

    Loader& loader_;
};
