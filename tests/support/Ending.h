#pragma once

#include "core/OperationResult.h"
#include "core/OutcomeText.h"

#include <QMetaType>
#include <QTest>

// How a procedure's run ended, as the tests tell runs apart: its outcome and its cause.
struct Ending {
    Outcome outcome = Outcome::Success;
    Cause cause = Cause::None;

    bool operator==(const Ending&) const = default;
};
Q_DECLARE_METATYPE(Ending)

inline Ending endingOf(const Verdict& verdict) {
    return Ending{verdict.outcome, verdict.cause};
}

namespace QTest {
template <> inline char* toString(const Ending& ending) {
    return qstrdup(QStringLiteral("%1 (cause %2)")
                       .arg(OutcomeText::word(ending.outcome))
                       .arg(int(ending.cause))
                       .toUtf8()
                       .constData());
}
} // namespace QTest
