#include "Exchange.h"

#include "Cp1251.h"
#include "Links.h"
#include "Loader.h"
#include "LoaderError.h"

#include <climits>

namespace {

QString answerOverflowText() {
    return QStringLiteral("Устройство передает данные без остановки: ответ длиннее %1 Мбайт, "
                          "обмен прерван")
        .arg(ReceiveRouter::kAnswerLimit / (1024 * 1024));
}

} // namespace

bool Exchange::SendCommand(const QByteArray& text) {
    LoaderState& s = loader_.state;
    loader_.form.terminal.edit1 = Cp1251::decode(text);
    bool answered = false;
    do {
        s.AnswerBuffer.clear();
        s.AnswerReceived = false;
        s.AnswerDamaged = false;
        s.AnswerOverflow = false;
        ++s.AttemptCount;
        writeCommand(text);
        loader_.addTerminalLine(text);
        loader_.WaitAnswerTimer->start();
        s.ReceiveTraceTick = loader_.runtime.tickCount() + std::uint32_t(s.AnswerTimeoutMs);
        if (s.DebugMode) {
            loader_.runtime.debugLine(QStringLiteral("WriteStr ") + Cp1251::decode(text) +
                                      QLatin1Char(' ') + QString::number(s.ReceiveTraceTick));
        }
        WaitAnswer();
        if (s.AnswerOverflow) {
            throw LoaderError(answerOverflowText());
        }
        answered = s.AnswerReceived;
    } while (ShouldRetry());
    return answered;
}

void Exchange::writeCommand(const QByteArray& text) {
    if (loader_.links != nullptr) {
        loader_.links->write(loader_.connectionKind(), text);
    }
}

void Exchange::WaitAnswer() {
    LoaderState& s = loader_.state;
    Runtime& rt = loader_.runtime;
    ProgressControl& bar = loader_.form.pbWaitAnswer;

    s.AnswerReceived = false;
    // A negative wait time (possible only from a hand-edited setting) waits like 0.
    const std::int32_t waitMs = s.AnswerTimeoutMs < 0 ? 0 : s.AnswerTimeoutMs;
    s.QuietTicks = waitMs;
    const std::uint32_t t0 = rt.tickCount();
    bar.setMaximum(waitMs);
    loader_.WaitAnswerTimer->start();

    std::uint32_t lastCheck = t0;
    while (s.OperationActive) {
        const std::uint32_t now = rt.tickCount();
        const auto moved = std::int32_t(now - lastCheck);
        if (moved > 2 || moved < -2) {
            const std::uint32_t elapsed = now - t0;
            bar.setPosition(elapsed > std::uint32_t(INT_MAX) ? INT_MAX : int(elapsed));
            if (bar.position == bar.maximum) {
                break; // timed out
            }
            rt.processEvents();
            lastCheck = rt.tickCount();
            if (s.AnswerReceived || s.QuietTicks == 0 || s.AnswerOverflow) {
                break;
            }
        }
        rt.processEvents();
        rt.sleep(1);
    }
    bar.position = 0;
}

bool Exchange::ShouldRetry() {
    LoaderState& s = loader_.state;
    ++s.AttemptCount;
    const bool waitingForController = s.AttemptLimit > 1 && loader_.form.cbWaitConnectLUMET.checked;
    if (waitingForController) {
        --s.AttemptCount;
    }
    const bool again = s.AttemptCount < s.AttemptLimit && s.OperationActive && !s.AnswerReceived;
    if (again && waitingForController) {
        // The engineer waits for a controller to come on line: say how long it has been.
        loader_.setStatus(3, QStringLiteral("Дожидаемся подключения LUMET: попытка %1 из %2")
                                 .arg(s.AttemptCount + 1)
                                 .arg(s.AttemptLimit));
    }
    return again;
}

void Exchange::WaitAnswerTimerTick() {
    LoaderState& s = loader_.state;
    // The last quiet tick waits while a frame of the answer is half received (the connection
    // gives such a frame up after a while, and the answer wait has its own limit).
    if (s.QuietTicks == 1 && s.AnswerFrameIncomplete) {
        return;
    }
    if (s.QuietTicks != 0) {
        --s.QuietTicks;
        if (s.QuietTicks == 0) {
            s.AnswerReceived = !s.AnswerBuffer.isEmpty();
        }
    }
    if (s.QuietTicks == 0) {
        loader_.WaitAnswerTimer->stop();
        if (!s.AnswerReceived) {
            loader_.setStatus(3, UiTexts::timeExpired());
        }
    }
}

void Exchange::pbWaitAnswerMouseDown() {
    loader_.state.QuietTicks = 1;
    loader_.state.AnswerFrameIncomplete = false; // the user ends the wait now
}

void Exchange::mnuTimeOutClick() {
    QString value = QString::number(loader_.state.AnswerTimeoutMs);
    if (!loader_.dialogs.inputQuery(QStringLiteral("Время ожидания отклика"),
                                    QStringLiteral("Время в миллисекундах"), value)) {
        return;
    }
    bool ok = false;
    int ms = value.toInt(&ok, 10);
    // A text that is not a whole number, or a negative one, gives the 1000 ms default.
    if (!ok || ms < 0) {
        ms = 1000;
    }
    loader_.setAnswerTimeout(ms);
}
