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

// Each line goes out whole among the threads, to the process's standard error.
std::function<void(const QString&)> FleetDisplay::lineSink(std::uint32_t id) const {
    if (mode_ != Mode::Lines) {
        return nullptr;
    }
    return [id](const QString& text) {
        ShellOutput::writeToProcess(stderr,
                                    QStringLiteral("[%1] %2\n").arg(id).arg(text).toLocal8Bit());
    };
}

void FleetDisplay::changed(const FleetMember& member, const QString& what) {
    if (mode_ == Mode::Lines) {
        ShellOutput::print(stderr, QStringLiteral("[%1] %2\n").arg(member.id).arg(what));
    } else if (mode_ == Mode::Table) {
        redraw();
    }
}

void FleetDisplay::notice(const QString& text) {
    if (mode_ == Mode::Lines) {
        ShellOutput::print(stderr, QStringLiteral("velkor-cli: %1\n").arg(text));
    } else if (mode_ == Mode::Table) {
        notice_ = text;
        redraw();
    }
}

QString FleetDisplay::lineOf(const FleetMember& m) const {
    QString line = QStringLiteral("id %1").arg(m.id).leftJustified(12);
    switch (m.state) {
    case FleetMember::State::Waiting:
        return line + (m.notStarted.isEmpty() ? QStringLiteral("waiting") : m.status());
    case FleetMember::State::Skipped:
        return line + m.status();
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
    QStringList lines;
    if (!notice_.isEmpty()) {
        lines << notice_;
    }
    const int room = ShellPlatform::terminalRows() - 1;
    if (lines.size() + members_.size() <= room) {
        for (const FleetMember& m : members_) {
            lines << lineOf(m);
        }
    } else {
        lines << countsLine();
        for (const FleetMember& m : members_) {
            if (m.state == FleetMember::State::Running && lines.size() < room) {
                lines << lineOf(m);
            }
        }
    }
    QString text;
    if (drawn_ > 0) {
        text += QStringLiteral("\033[%1A").arg(drawn_);
    }
    for (const QString& line : lines) {
        text += QStringLiteral("\r\033[K") + line.left(119) + QLatin1Char('\n');
    }
    // Lines drawn before and not now are cleared; the cursor goes back below the new ones.
    for (int i = int(lines.size()); i < drawn_; ++i) {
        text += QStringLiteral("\r\033[K\n");
    }
    if (drawn_ > lines.size()) {
        text += QStringLiteral("\033[%1A").arg(drawn_ - int(lines.size()));
    }
    drawn_ = int(lines.size());
    ShellOutput::print(stderr, text);
}

// "1000 ids: 412 done (3 failed), 64 running, 524 waiting" (", 300 not started" once a stop or
// the rollout left ids out).
QString FleetDisplay::countsLine() const {
    int done = 0;
    int failed = 0;
    int running = 0;
    int left = 0; // not started, and never to start
    for (const FleetMember& m : members_) {
        const bool ended =
            m.state == FleetMember::State::Done || m.state == FleetMember::State::Skipped;
        done += ended ? 1 : 0;
        failed += ended && m.exitCode != 0 ? 1 : 0;
        running += m.state == FleetMember::State::Running ? 1 : 0;
        left += m.notStarted.isEmpty() ? 0 : 1;
    }
    QString text = QStringLiteral("%1 ids: %2 done (%3 failed), %4 running, %5 waiting")
                       .arg(members_.size())
                       .arg(done)
                       .arg(failed)
                       .arg(running)
                       .arg(members_.size() - done - running - left);
    return left == 0 ? text : text + QStringLiteral(", %1 not started").arg(left);
}

// The table of every id's outcome; a fleet with interrupted stores gets a column of the
// positions each id resumes from.
QString FleetDisplay::summary(const QList<FleetMember>& members) {
    bool resumable = false;
    bool stopped = false;
    for (const FleetMember& m : members) {
        resumable = resumable || !m.resume().isEmpty();
        stopped = stopped || !m.stopped.isEmpty();
    }
    const auto row = [resumable, stopped](const QStringList& cells) {
        return cells[0].leftJustified(12) + cells[1].leftJustified(19) + cells[2].leftJustified(6) +
               cells[3].leftJustified(10) + (stopped ? cells[4].leftJustified(11) : QString()) +
               (resumable ? cells[5].leftJustified(16) : QString()) + cells[6] + QLatin1Char('\n');
    };
    QString text = row({QStringLiteral("id"), QStringLiteral("outcome"), QStringLiteral("exit"),
                        QStringLiteral("time"), QStringLiteral("stop"), QStringLiteral("resume"),
                        QStringLiteral("status")});
    for (const FleetMember& m : members) {
        text += row({QString::number(m.id), m.outcome(), QString::number(m.exitCode),
                     seconds(m.elapsedMs), m.stopped, m.resume(), m.status()});
    }
    return text;
}
