#include "cli/ProgressDisplay.h"

#include "core/Loader.h"

#include "cli/FleetChannel.h"
#include "cli/ShellOutput.h"
#include "cli/ShellPlatform.h"

#include <cstdio>

namespace {

constexpr int kBarRefreshMs = 100;
constexpr int kMachineRefreshMs = 250;
constexpr int kBarCells = 24;

// The display whose bar is on the terminal now, if any; at most one loader shows a bar.
ProgressDisplay* barShown = nullptr;
bool lineDrawn = false;

void printLine(const QString& text) {
    ShellOutput::print(stderr, text + QLatin1Char('\n'));
}

} // namespace

ProgressDisplay::ProgressDisplay(Loader& loader, Mode mode) : loader_(loader), mode_(mode) {
    clock_.start();
    if (mode_ == Mode::Off) {
        return;
    }
    if (mode_ == Mode::Member) {
        FleetChannel* channel = FleetChannel::current();
        loader_.onProgress = [this, channel](const ProgressEvent& progress) {
            progress_ = progress;
            channel->setProgress(progress.done, progress.total);
        };
    } else {
        loader_.onProgress = [this](const ProgressEvent& progress) { progress_ = progress; };
    }
    loader_.onStatus = [this](int panel, const QString& text) {
        if (panel == 3) {
            onStatus(text);
        }
    };
    loader_.driver.onFinished = [this](const OperationResult& result) { onFinished(result); };
    if (mode_ == Mode::Bar || mode_ == Mode::Machine) {
        if (mode_ == Mode::Bar) {
            barShown = this;
        }
        timer_.setInterval(mode_ == Mode::Bar ? kBarRefreshMs : kMachineRefreshMs);
        QObject::connect(&timer_, &QTimer::timeout, [this] { refresh(); });
        timer_.start();
    }
}

ProgressDisplay::~ProgressDisplay() {
    loader_.onStatus = nullptr;
    loader_.onProgress = nullptr;
    loader_.driver.onFinished = nullptr;
    if (barShown == this) {
        // The last message stays on the screen without the bar.
        clearLine();
        if (!message_.isEmpty()) {
            printLine(message_);
        }
        barShown = nullptr;
    }
}

ProgressDisplay::Mode ProgressDisplay::modeFor(bool quiet) {
    if (quiet) {
        return Mode::Off;
    }
    if (FleetChannel::current() != nullptr) {
        return Mode::Member;
    }
    if (qgetenv("VELKOR_CLI_PROGRESS") == "machine") {
        return Mode::Machine;
    }
    return ShellPlatform::stderrIsTerminal() ? Mode::Bar : Mode::Lines;
}

void ProgressDisplay::clearLine() {
    if (lineDrawn) {
        ShellOutput::write(stderr, QByteArrayLiteral("\r\033[K"));
        lineDrawn = false;
    }
}

bool ProgressDisplay::counts(qint64& done, qint64& total) const {
    done = progress_.done;
    total = progress_.total;
    return total > 0;
}

QString ProgressDisplay::duration(qint64 ms) {
    const qint64 seconds = (ms + 999) / 1000;
    if (seconds >= 3600) {
        return QStringLiteral("%1:%2:%3")
            .arg(seconds / 3600)
            .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
            .arg(seconds % 60, 2, 10, QLatin1Char('0'));
    }
    return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

void ProgressDisplay::onStatus(const QString& text) {
    QString shown = text;
    shown.replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '));
    if (mode_ != Mode::Bar || finished_) {
        printLine(shown);
        return;
    }
    // A message while nothing is counted ends a stage: it stays on the screen. While counting,
    // the messages are progress texts and live in the bar line only.
    qint64 done = 0;
    qint64 total = 0;
    if (!message_.isEmpty() && !counts(done, total)) {
        clearLine();
        printLine(message_);
    }
    message_ = shown;
    drawBar();
}

// The driver's verdict ends the bar: it stays as a line of its own, and whatever follows (the
// subcommand's result on standard output) starts on a fresh line.
void ProgressDisplay::onFinished(const OperationResult&) {
    if (mode_ != Mode::Bar || finished_) {
        return;
    }
    clearLine();
    if (!message_.isEmpty()) {
        printLine(message_);
    }
    message_.clear();
    finished_ = true;
    timer_.stop();
}

void ProgressDisplay::refresh() {
    if (finished_) {
        return;
    }
    if (mode_ == Mode::Bar) {
        drawBar();
        return;
    }
    qint64 done = 0;
    qint64 total = 0;
    if (!counts(done, total)) {
        return;
    }
    const QString line = QStringLiteral("@progress %1 %2").arg(done).arg(total);
    if (line != lastMachine_) {
        lastMachine_ = line;
        printLine(line);
    }
}

qint64 ProgressDisplay::remainingMs(qint64 done, qint64 total) {
    const qint64 now = clock_.elapsed();
    if (firstDone_ < 0 || done < firstDone_) {
        firstDone_ = done;
        firstMs_ = now;
        return -1;
    }
    if (done == firstDone_ || now - firstMs_ < 500) {
        return -1;
    }
    return (now - firstMs_) * (total - done) / (done - firstDone_);
}

QString ProgressDisplay::barLine(int width) {
    qint64 done = 0;
    qint64 total = 0;
    QString line;
    if (counts(done, total)) {
        const qint64 clamped = qBound<qint64>(0, done, total);
        const int filled = int(clamped * kBarCells / total);
        const qint64 left =
            progress_.remainingMs ? *progress_.remainingMs : remainingMs(clamped, total);
        line = QStringLiteral("[%1%2] %3% %4/%5")
                   .arg(QString(filled, QLatin1Char('#')),
                        QString(kBarCells - filled, QLatin1Char('-')))
                   .arg(double(clamped) * 100.0 / double(total), 5, 'f', 1)
                   .arg(clamped)
                   .arg(total);
        if (left >= 0) {
            line += QStringLiteral(" left %1").arg(duration(left));
        }
        line += QStringLiteral("  ");
    } else {
        firstDone_ = -1;
    }
    line += message_;
    return line.left(width - 1);
}

void ProgressDisplay::drawBar() {
    const QString line = barLine(ShellPlatform::terminalColumns());
    ShellOutput::write(stderr, "\r\033[K" + line.toLocal8Bit());
    lineDrawn = true;
}
