#include "cli/FleetDisplay.h"

#include "cli/ExitCodes.h"

#include "cli/ShellOutput.h"
#include "cli/ShellPlatform.h"

#include <cstdio>

namespace {

constexpr int kBarCells = 20;

QString seconds(qint64 ms) {
    return QStringLiteral("%1 s").arg(double(ms) / 1000.0, 0, 'f', 1);
}

} // namespace

FleetDisplay::Mode FleetDisplay::modeFor(bool quiet) {
    if (quiet) {
        return Mode::Off;
    }
    return ShellPlatform::stderrIsTerminal() ? Mode::Table : Mode::Lines;
}

void FleetDisplay::message(const FleetMember& member, const QString& text) {
    if (mode_ == Mode::Lines) {
        ShellOutput::print(stderr, QStringLiteral("[%1] %2\n").arg(member.id).arg(text));
    }
}

void FleetDisplay::changed(const FleetMember& member, const QString& what) {
    if (mode_ == Mode::Lines) {
        ShellOutput::print(stderr, QStringLiteral("[%1] %2\n").arg(member.id).arg(what));
    } else if (mode_ == Mode::Table) {
        redraw();
    }
}

QString FleetDisplay::lineOf(const FleetMember& m) const {
    QString line = QStringLiteral("id %1").arg(m.id).leftJustified(12);
    switch (m.state) {
    case FleetMember::State::Waiting:
        return line + QStringLiteral("waiting");
    case FleetMember::State::Done:
        return line + QStringLiteral("%1 (%2) in %3  %4%5")
                          .arg(m.outcome())
                          .arg(m.exitCode)
                          .arg(seconds(m.elapsedMs),
                               m.resume().isEmpty()
                                   ? QString()
                                   : QStringLiteral("--resume %1  ").arg(m.resume()),
                               m.status());
    case FleetMember::State::Running:
        break;
    }
    if (m.total > 0) {
        const qint64 done = qBound<qint64>(0, m.done, m.total);
        const int filled = int(done * kBarCells / m.total);
        line += QStringLiteral("[%1%2] %3% ")
                    .arg(QString(filled, QLatin1Char('#')),
                         QString(kBarCells - filled, QLatin1Char('-')))
                    .arg(double(done) * 100.0 / double(m.total), 5, 'f', 1);
    }
    return line + m.message;
}

void FleetDisplay::redraw() {
    if (mode_ != Mode::Table) {
        return;
    }
    QString text;
    if (drawn_ > 0) {
        text += QStringLiteral("\033[%1A").arg(drawn_);
    }
    for (const FleetMember& m : members_) {
        text += QStringLiteral("\r\033[K") + lineOf(m).left(119) + QLatin1Char('\n');
    }
    drawn_ = int(members_.size());
    ShellOutput::print(stderr, text);
}

// The table of every id's outcome; a fleet with interrupted stores gets a column of the
// positions each id resumes from.
QString FleetDisplay::summary(const QList<FleetMember>& members) {
    bool resumable = false;
    for (const FleetMember& m : members) {
        resumable = resumable || !m.resume().isEmpty();
    }
    const auto row = [resumable](const QString& id, const QString& outcome, const QString& exit,
                                 const QString& time, const QString& resume,
                                 const QString& status) {
        return id.leftJustified(12) + outcome.leftJustified(19) + exit.leftJustified(6) +
               time.leftJustified(10) + (resumable ? resume.leftJustified(16) : QString()) +
               status + QLatin1Char('\n');
    };
    QString text = row(QStringLiteral("id"), QStringLiteral("outcome"), QStringLiteral("exit"),
                       QStringLiteral("time"), QStringLiteral("resume"), QStringLiteral("status"));
    for (const FleetMember& m : members) {
        text += row(QString::number(m.id), m.outcome(), QString::number(m.exitCode),
                    seconds(m.elapsedMs), m.resume(), m.status());
    }
    return text;
}
