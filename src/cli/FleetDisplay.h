#pragma once

#include "cli/FleetMember.h"

#include <QList>
#include <QString>
#include <cstdint>
#include <functional>

// What a fleet shows on standard error while its members run. On a terminal each id has a line
// of its own, redrawn in place with cursor moves so that several running members never garble
// each other; when the ids outnumber the terminal's lines, a line of counts and the running ids
// take their place. Otherwise each message of a member is printed as it comes, prefixed with its
// id. Quiet shows nothing.
class FleetDisplay {
public:
    enum class Mode { Off, Lines, Table };

    FleetDisplay(const QList<FleetMember>& members, Mode mode) : members_(members), mode_(mode) {}

    static Mode modeFor(bool quiet);

    // What prints a member's message lines, called on the member's thread; null when they are not
    // printed as they come.
    std::function<void(const QString&)> lineSink(std::uint32_t id) const;
    // A member started or ended.
    void changed(const FleetMember& member, const QString& what);
    // A word of the fleet's own (it drains): printed once, or kept atop the terminal's lines.
    void notice(const QString& text);
    // Redraws the lines of every id (terminal only).
    void redraw();

    // The table of outcomes printed at the end; a column says which ids a stop signal drained
    // or cancelled when it found any running.
    static QString summary(const QList<FleetMember>& members);

private:
    QString lineOf(const FleetMember& member) const;
    QString countsLine() const;

    const QList<FleetMember>& members_;
    Mode mode_;
    QString notice_;
    int drawn_ = 0;
};
