#include "Loader.h"

#include "FlashRestart.h"

namespace {

// Timer3 stands for a live link, and keeps the state's LinkAlive with it: when it stops (the
// link closed, the operation ended), a wait in progress must look at once, not at its end.
class LinkTimer : public Timer {
public:
    LinkTimer(std::unique_ptr<Timer> timer, bool& alive, std::function<void()> onStop)
        : timer_(std::move(timer)), alive_(alive), onStop_(std::move(onStop)) {}
    void setEnabled(bool enabled) override {
        const bool stops = !enabled && timer_->enabled();
        timer_->setEnabled(enabled);
        alive_ = enabled;
        if (stops) {
            onStop_();
        }
    }
    bool enabled() const override { return timer_->enabled(); }
    int intervalMs() const override { return timer_->intervalMs(); }
    void suspend() override { timer_->suspend(); }
    void resume() override { timer_->resume(); }
    void skipTicks(int ticks) override { timer_->skipTicks(ticks); }

private:
    std::unique_ptr<Timer> timer_;
    bool& alive_;
    std::function<void()> onStop_;
};

} // namespace

Loader::Loader(Runtime& runtime_, Dialogs& dialogs_, QString dataDir)
    : runtime(runtime_), dialogs(dialogs_), output(terminal),
      exchange({runtime_, state, choices, terminal, links, WaitAnswerTimer, output, Timer3}),
      driver(*this), router({runtime_, state, output, exchange, Timer3}),
      journal(runtime_, choices, dataDir), dataDir_(std::move(dataDir)) {
    Timer3 = std::make_unique<LinkTimer>(runtime.createTimer(100, [this] { router.Timer3Timer(); }),
                                         state.LinkAlive, [this] { exchange.poke(); });
    WaitAnswerTimer = runtime.createTimer(10, [this] { exchange.WaitAnswerTimerTick(); });
    // A flash the loader restarts itself says how at the end of its journal entry's message: the
    // running request's choice, not the controls (a query or another operation has none).
    journal.messageNote = [this] {
        const OperationRequest& request = driver.request();
        const QString restart = FlashRestart::name(request.flash.restart);
        return request.operation == Operation::Flash && !restart.isEmpty()
                   ? QStringLiteral("Restart: ") + restart
                   : QString();
    };
    // Timer3 runs from program start and flushes the terminal even before any connection.
    Timer3->start();
    output.onNotice = [this](const Notice& notice) {
        const QDateTime shown = runtime.now();
        if (notice.kind == Notice::Kind::Error) {
            dialogs.showError(notice.text, notice.caption);
        } else {
            dialogs.showInformation(notice.text);
        }
        // The operation's clock stands still while a box waits for the engineer: "Операция
        // выполнена за" counts the operation, not the reading of its last box.
        if (state.OperationStart.isValid()) {
            state.OperationStart = state.OperationStart.addMSecs(shown.msecsTo(runtime.now()));
        }
    };
    output.onControllerNotFound = [this] { driver.stopForMissingController(); };
}

Loader::Stop Loader::stopReason() const {
    if (!state.OperationActive) {
        return state.ControllerNotFound ? Stop::NotFound : Stop::Cancelled;
    }
    if (!state.LinkAlive || runtime.terminating()) {
        return Stop::LinkLost;
    }
    return Stop::None;
}

void Loader::setStatus(int panel, const QString& text) {
    output.setStatus(panel, text);
}

void Loader::showProgress(const ProgressEvent& progress) {
    output.showProgress(progress);
}

void Loader::addTerminalLine(const QByteArray& line) {
    output.addTerminalLine(line);
}
