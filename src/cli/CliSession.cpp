#include "cli/CliSession.h"

#include "core/DataDir.h"
#include "core/LoaderError.h"

#include <atomic>
#include <csignal>
#include <cstdio>

namespace {

// Set by the signal handler, read by the session's poll timer on the user-interface thread:
// the handler itself touches nothing else.
std::atomic<bool> interruptRequested{false};

extern "C" void onInterrupt(int) {
    interruptRequested.store(true);
    // A second Ctrl-C ends the program at once.
    std::signal(SIGINT, SIG_DFL);
}

constexpr int kPollIntervalMs = 20;

} // namespace

CliSession::CliSession(const CommonOptions& options, bool quiet)
    : loader(runtime, dialogs, DataDir::resolve(options.dataDir)), links(loader),
      progress_(loader, ProgressDisplay::modeFor(quiet)) {
    dialogs.quiet = quiet;
    options.applyTo(loader);
    interruptRequested.store(false);
    std::signal(SIGINT, onInterrupt);
    poller_.setInterval(kPollIntervalMs);
    QObject::connect(&poller_, &QTimer::timeout, [this] { poll(); });
    poller_.start();
}

CliSession::~CliSession() {
    std::signal(SIGINT, SIG_DFL);
}

void CliSession::poll() {
    LoaderState& s = loader.state;
    if (interruptRequested.exchange(false)) {
        interrupted_ = true;
        if (s.OperationActive) {
            loader.driver.btnConnectClick();
        }
    }
    if (endWaitOnDisconnect_ && s.OperationActive && !s.ConnectionOpen && s.QuietTicks > 1) {
        loader.exchange.pbWaitAnswerMouseDown();
    }
}

bool CliSession::beginOperation() {
    LoaderState& s = loader.state;
    s.OperationActive = true;
    loader.Timer3->stop();
    loader.setStatus(3, UiTexts::openingPort());
    try {
        if (!s.ConnectionOpen) {
            loader.driver.OpenConnection();
            if (!s.ConnectionOpen) {
                throw LoaderError(UiTexts::portUnavailable());
            }
            loader.Timer3->start();
        }
    } catch (const std::exception& e) {
        loader.setStatus(3, errorText(e));
        loader.driver.CloseConnection();
        return false;
    }
    return true;
}

void CliSession::endOperation() {
    loader.driver.CloseConnection();
}
