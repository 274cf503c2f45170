#include "AnswerCounter.h"

namespace devsim {

// Without a targeted fault the counts would never be read: a record costs no count.
std::optional<FaultKind> AnswerCounter::count(const QByteArray& command) {
    if (plan_.isEmpty()) {
        return std::nullopt;
    }
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
