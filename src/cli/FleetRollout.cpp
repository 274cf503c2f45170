#include "cli/FleetRollout.h"

FleetRollout::FleetRollout(const FleetOptions& options, qsizetype ids)
    : counted_(options.maxFailures > 0) {
    const QList<qsizetype> ends = options.stageEnds(ids);
    qsizetype begin = 0;
    for (const qsizetype end : ends) {
        Stage stage;
        stage.end = end;
        stage.limit = options.failureLimit(end - begin, end == ends.last());
        stages_.append(stage);
        begin = end;
    }
}

int FleetRollout::stageOf(qsizetype position) const {
    int stage = 0;
    while (stage + 1 < stages_.size() && position >= stages_.at(stage).end) {
        ++stage;
    }
    return stage;
}

qsizetype FleetRollout::stageSize(int stage) const {
    return stages_.at(stage).end - (stage > 0 ? stages_.at(stage - 1).end : 0);
}

FleetRollout::Gate FleetRollout::gate(qsizetype position) {
    if (!stopReason_.isEmpty()) {
        return Gate::Stop;
    }
    const int stage = stageOf(position);
    while (open_ < stage) {
        if (stages_.at(open_).ended < stageSize(open_)) {
            return Gate::Wait; // the stage before is still running
        }
        ++open_; // it ended under its limit, or the fleet would have stopped
    }
    return Gate::Start;
}

void FleetRollout::ended(qsizetype position, bool succeeded) {
    const int index = stageOf(position);
    Stage& stage = stages_[index];
    ++stage.ended;
    stage.failures += succeeded ? 0 : 1;
    if (stopReason_.isEmpty() && stage.limit > 0 && stage.failures >= stage.limit) {
        stoppedStage_ = index;
        stopReason_ =
            counted_ ? QStringLiteral("too many failures") : QStringLiteral("wave failed");
    }
}
