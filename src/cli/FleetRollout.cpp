#include "cli/FleetRollout.h"

FleetRollout::FleetRollout(const FleetOptions& options, qsizetype ids)
    : wave_(qMin<qsizetype>(options.wave, ids)), failureLimit_(options.failureLimit(ids)) {}

FleetRollout::Gate FleetRollout::gate(qsizetype position) const {
    if (!stopReason().isEmpty()) {
        return Gate::Stop;
    }
    if (position >= wave_ && waveEnded_ < wave_) {
        return Gate::Wait; // the wave is still running
    }
    return Gate::Start;
}

void FleetRollout::ended(qsizetype position, bool succeeded) {
    if (position < wave_) {
        ++waveEnded_;
        waveFailures_ += succeeded ? 0 : 1;
    }
    failures_ += succeeded ? 0 : 1;
}

QString FleetRollout::stopReason() const {
    if (failureLimit_ > 0 && failures_ >= failureLimit_) {
        return QStringLiteral("too many failures");
    }
    if (waveEnded_ == wave_ && waveFailures_ > 0) {
        return QStringLiteral("wave failed");
    }
    return QString();
}
