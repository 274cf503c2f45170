#include "cli/CliSession.h"

#include "cli/ExitCodes.h"
#include "cli/FleetChannel.h"
#include "cli/ShellPlatform.h"
#include "cli/UsageError.h"
#include "core/DataDir.h"

#include <csignal>

namespace {

constexpr int kPollIntervalMs = 20;
constexpr qsizetype kTerminalRows = 100;
constexpr qsizetype kTerminalBytes = 64 * 1024;

} // namespace

CliSession::CliSession(const CommonOptions& options, bool quiet)
    : parts(runtime, dialogs, DataDir::resolve(options.dataDir), &questions),
      link(options.linkSettings()), progress_(loader, ProgressDisplay::modeFor(quiet)),
      channel_(FleetChannel::current()) {
    dialogs.quiet = quiet;
    options.applyTo(loader);
    // Nobody looks at the terminal's lines here: a few are kept, not megabytes.
    loader.terminal.lines.setLimits(kTerminalRows, kTerminalBytes);
    applyWaitsFromEnvironment();
    ShellPlatform::catchStopSignals();
    poller_.setInterval(kPollIntervalMs);
    QObject::connect(&poller_, &QTimer::timeout, [this] { poll(); });
    StoppableIo::StopCheck stopCheck = [this] {
        poll();
        return interrupted();
    };
    if (channel_ != nullptr) {
        loader.state.AnswerLimit = channel_->answerLimit;
        channel_->stopCheck = std::move(stopCheck);
        wakeOnStop(*channel_);
    } else {
        stopCheck_.emplace(std::move(stopCheck));
        poller_.start();
    }
}

CliSession::~CliSession() {
    if (channel_ != nullptr) {
        channel_->setWake(nullptr);
        channel_->stopCheck = nullptr;
    }
    ShellPlatform::releaseStopSignals();
}

// A fleet member polls nothing: a thousand members waking every few milliseconds would keep
// the processors busy. The fleet wakes it when a stop comes; a dropped connection ends the
// exchange's wait by itself (the link timer's stop). A store learns of each confirmed piece
// from its progress, where a drain stops it.
void CliSession::wakeOnStop(FleetChannel& channel) {
    channel.setWake([this] { pollSoon(); });
    loader.onProgress = [this, shown = loader.onProgress](const ProgressEvent& progress) {
        if (shown) {
            shown(progress);
        }
        stopStoreIfDraining(progress);
    };
    // A stop that came before the wake was set is taken at the first pass.
    pollSoon();
}

// Runs poll from this session's own event loop, whichever thread asks.
void CliSession::pollSoon() {
    QMetaObject::invokeMethod(&poller_, runtime.bound([this] { poll(); }), Qt::QueuedConnection);
}

// A refused file's message is not held on screen: the shell prints it and ends. VELKOR_WAITS
// ("page-write=3000,restart=5000") shortens the controller's fixed waits: for tests against the
// simulator, where a lost answer must not cost half a minute.
void CliSession::applyWaitsFromEnvironment() {
    loader.timings.refusalShownMs = 0;
    const QString text = qEnvironmentVariable("VELKOR_WAITS");
    if (text.isEmpty()) {
        return;
    }
    const std::optional<Timings> waits = Timings::parse(text, loader.timings);
    if (!waits) {
        throw UsageError(QStringLiteral("VELKOR_WAITS: \"%1\" is not NAME=MS,... with the names "
                                        "page-write, reprogram, restart, programming-start, "
                                        "bootloader-pause, connect, refusal-shown")
                             .arg(text));
    }
    loader.timings = *waits;
}

int CliSession::interruptedExitCode() const {
    return stopSignal_ == 0 && expired_ ? int(kExitTempFail)
                                        : ShellPlatform::exitCodeForSignal(stopSignal_);
}

void CliSession::poll() {
    if (const int signal = ShellPlatform::takeStopSignal(); signal != 0) {
        cancelFor(signal);
    }
    if (channel_ != nullptr) {
        takeFleetStops(*channel_);
    }
    endWaitIfDisconnected();
}

// The running operation ends as the cancel button ends it; Ctrl-C is the user's own click.
void CliSession::cancelFor(int signal) {
    stopSignal_ = signal;
    if (loader.state.OperationActive) {
        loader.driver.cancel(
            signal == SIGINT
                ? QString()
                : QStringLiteral("получен сигнал %1").arg(ShellPlatform::signalName(signal)));
    }
}

void CliSession::takeFleetStops(FleetChannel& channel) {
    if (!expired_ && channel.expired()) {
        expired_ = true;
        if (loader.state.OperationActive) {
            loader.driver.cancel(QStringLiteral("истёк срок --deadline"));
        }
    }
    drainSignal_ = channel.drainSignal();
}

// Called at each progress event: a store's come as its pieces are confirmed (or skipped, on a
// resumed run, before anything is sent), so stopping there loses no piece in flight.
void CliSession::stopStoreIfDraining(const ProgressEvent& progress) {
    if (loader.driver.request().operation != Operation::Store || !loader.state.OperationActive) {
        return;
    }
    storeTextSent_ = storeTextSent_ || (progress.total > 0 && progress.done >= progress.total);
    if (drainSignal_ != 0 && !storeTextSent_) {
        cancelFor(drainSignal_);
    }
}

void CliSession::endWaitIfDisconnected() {
    const LoaderState& s = loader.state;
    if (endWaitOnDisconnect_ && s.OperationActive && !s.ConnectionOpen && s.QuietTicks > 1) {
        loader.exchange.pbWaitAnswerMouseDown();
    }
}

void CliSession::endOperation() {
    loader.driver.CloseConnection();
}
