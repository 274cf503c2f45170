#include "AnswerCounter.h"

namespace devsim {

std::optional<FaultKind> AnswerCounter::count(const QByteArray& command) {
    std::optional<FaultKind> hit;
    for (const QByteArray& key : faultKeys(command)) {
        const int nth = ++answers_[key];
        for (const TargetedFault& fault : std::as_const(plan_)) {
            if (!hit && fault.command == key && fault.nth == nth) {
                hit = fault.kind;
            }
        }
    }
    return hit;
}

} // namespace devsim
