#pragma once

#include "cli/FleetMember.h"

#include <QList>

// What the parent of a fleet shows on standard error while the children run. On a terminal
// each id has a line of its own, redrawn in place with cursor moves so that several running
// children never garble each other; otherwise each message of a child is printed as it comes,
// prefixed with its id. Quiet shows nothing.
class FleetDisplay {
public:
    enum class Mode { Off, Lines, Table };

    FleetDisplay(const QList<FleetMember>& members, Mode mode) : members_(members), mode_(mode) {}

    static Mode modeFor(bool quiet);

    // A message line of a child arrived.
    void message(const FleetMember& member, const QString& text);
    // A child started or ended.
    void changed(const FleetMember& member, const QString& what);
    // Redraws the lines of every id (terminal only).
    void redraw();

    // The table of outcomes printed at the end.
    static QString summary(const QList<FleetMember>& members);

private:
    QString lineOf(const FleetMember& member) const;

    const QList<FleetMember>& members_;
    Mode mode_;
    int drawn_ = 0;
};
