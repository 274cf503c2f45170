#include "FlashProcedure.h"

#include "AwaitedAnswers.h"
#include "SilenceOutcome.h"
#include "core/Cp1251.h"
#include "core/FlashRestart.h"
#include "core/Links.h"
#include "core/Loader.h"
#include "core/LoaderError.h"
#include "core/ProgressText.h"
#include "firmware/FirmwareCheckPresenter.h"
#include "firmware/FirmwareImage.h"
#include "firmware/UnitSignature.h"

namespace {

using Outcome_ = ::Outcome;

const QString kErrorCaption = QStringLiteral("Ошибка");
const QString kNoAnswer = QStringLiteral("Ошибка: нет ответа от устройства!");
const QString kWaitReset = QStringLiteral("Ожидание сброса устройства...");
const QString kProgramming = QStringLiteral("Идет программирование устройства...");
constexpr int kRestartPulseMs = 100;

} // namespace

bool FlashProcedure::running() const {
    return !ended_ && loader_.state.OperationActive;
}

bool FlashProcedure::goesOn() const {
    return !ended_ && loader_.operationCanGoOn();
}

void FlashProcedure::EnterBootloader(const OperationRequest& request) {
    request_ = request;
    ended_ = false;
    deviceType_.clear();
    loader_.Timer3->start();
    stage_ = BootStage::WaitReset;
    outcome_ = Outcome::None;
    while (goesOn()) {
        PassResult pass = PassResult::Continue;
        switch (stage_) {
        case BootStage::WaitReset:
            // What an earlier run left is gone already (the driver empties the answer when the
            // operation starts); what came since, while the connection opened, may be the
            // banner of a controller that greets every new connection.
            loader_.setStatus(3, kWaitReset);
            requestRestart();
            stage_ = BootStage::WatchBanner;
            shownWaitSeconds_ = 0;
            bannerWaitStart_ = loader_.runtime.tickCount();
            break;
        case BootStage::WatchBanner:
            pass = watchBanner();
            break;
        case BootStage::Programming:
            loader_.output.lockTerminalInput(true);
            try {
                ProgramFlash(request_.firmwarePath);
            } catch (const std::exception& e) {
                throw LoaderError(errorText(e));
            }
            stage_ = BootStage::Finished;
            break;
        case BootStage::Finished:
            break;
        }
        if (pass == PassResult::LeaveLoop) {
            break;
        }
        loader_.runtime.processEvents();
        loader_.runtime.sleep(1);
    }
    if (outcome_ == Outcome::None) {
        // Left the loop without a verdict: cancelled, cut off, or the broker has no controller.
        outcome_ = outcomeOfSilence<Outcome>(loader_);
    }
    cleanUpAfterLoop();
}

Verdict FlashProcedure::verdict() const {
    switch (outcome_) {
    case Outcome::Success:
        return Verdict{};
    case Outcome::NoFile:
        return Verdict::failed(Outcome_::FileRefused, QStringLiteral("файл не указан"));
    case Outcome::BadFile:
        return Verdict::failed(Outcome_::FileRefused, QStringLiteral("файл некорректен"));
    case Outcome::Mismatch:
    case Outcome::Refused:
        return Verdict::failed(Outcome_::Refused, reason_);
    case Outcome::Damaged:
        return Verdict::failed(Outcome_::Damaged, reason_);
    case Outcome::EndedEarly:
        return Verdict::failed(Outcome_::Unconfirmed, reason_);
    case Outcome::NoEnd:
        return Verdict::failed(Outcome_::NoAnswer, reason_);
    case Outcome::FileError:
        return Verdict::failed(Outcome_::FileError, reason_);
    case Outcome::Cancelled:
        return Verdict::failed(Outcome_::Cancelled);
    case Outcome::LinkLost:
        return Verdict::failed(Outcome_::LinkLost);
    case Outcome::NotFound:
        return Verdict::failed(Outcome_::NotFound);
    case Outcome::NoRestart:
        return Verdict::failed(
            Outcome_::NoAnswer,
            QStringLiteral("контроллер не перезапустился за %1 с; перезапустите его (питание или "
                           "сброс) сразу после запуска прошивки")
                .arg(request_.flash.resetWaitMs / 1000));
    case Outcome::NoAnswer:
    case Outcome::None:
        break;
    }
    return Verdict::failed(Outcome_::NoAnswer);
}

// The restart the loader does itself, when chosen: "RESET" and CR to the command interpreter, or
// a 100 ms pulse on DTR or RTS. The banner wait starts after it.
void FlashProcedure::requestRestart() {
    Links* links = loader_.links;
    const int kind = request_.flash.restart;
    if (links == nullptr || kind <= FlashRestart::None) {
        return;
    }
    if (kind == FlashRestart::Command) {
        links->write(request_.link, QByteArrayLiteral("RESET\r"));
        return;
    }
    links->setControlLines(request_.link, kind == FlashRestart::Dtr, kind == FlashRestart::Rts);
    loader_.runtime.sleep(kRestartPulseMs);
    links->setControlLines(request_.link, false, false);
}

// "Ожидание сброса устройства... 15 с": how long the engineer has been waiting for the
// restart, every 5 seconds, until a piece of the banner has come (noise does not stop it).
void FlashProcedure::showBannerWait() {
    const auto seconds = int((loader_.runtime.tickCount() - bannerWaitStart_) / 1000);
    const QByteArray& answer = loader_.state.AnswerBuffer;
    const bool bannerBegun = answer.contains("UNIT:") || answer.contains("BIOS");
    if (seconds >= shownWaitSeconds_ + 5 && !bannerBegun) {
        shownWaitSeconds_ = seconds;
        loader_.setStatus(3, kWaitReset + QStringLiteral(" %1 с").arg(seconds));
    }
}

bool FlashProcedure::restartOverdue() const {
    return request_.flash.resetWaitMs > 0 &&
           std::int64_t(loader_.runtime.tickCount() - bannerWaitStart_) >=
               request_.flash.resetWaitMs;
}

FlashProcedure::PassResult FlashProcedure::watchBanner() {
    if (restartOverdue()) {
        outcome_ = Outcome::NoRestart;
        return PassResult::LeaveLoop;
    }
    loader_.runtime.sleep(100);
    showBannerWait();
    const QByteArray& answer = loader_.state.AnswerBuffer;
    if (answer.contains("UNIT:")) {
        loader_.setStatus(3, QStringLiteral("Разбор сигнатуры..."));
        return checkSignature(UnitSignature::EndedDeviceSignature(answer));
    }
    if (answer.contains("BIOS")) {
        // A device without a signature line is entered without a check.
        enterBootloaderMode();
    }
    return PassResult::Continue;
}

FlashProcedure::PassResult FlashProcedure::checkSignature(const QByteArray& deviceSignature) {
    if (deviceSignature.isEmpty()) {
        return PassResult::Continue;
    }
    deviceType_ = Cp1251::decode(deviceSignature);
    loader_.output.showDeviceType(deviceType_);
    const QString fileSignature = UnitSignature::HeaderFirstWord(request_.header);
    if (!UnitSignature::Fits(fileSignature, deviceSignature)) {
        refuseFirmware();
        return PassResult::LeaveLoop;
    }
    loader_.setStatus(3, QStringLiteral("Сигнатура принята..."));
    if (loader_.state.AnswerBuffer.contains("BIOS:")) {
        loader_.setStatus(3, QStringLiteral("Выполняется вход в загрузчик..."));
        enterBootloaderMode();
    }
    return PassResult::Continue;
}

void FlashProcedure::enterBootloaderMode() {
    loader_.exchange.SendCommand("i", AwaitedAnswers::bootloaderEntry());
    loader_.runtime.sleep(loader_.timings.bootloaderPauseMs);
    QByteArray& answer = loader_.state.AnswerBuffer;
    if (answer.contains("BIOS>") || answer.contains('i')) {
        loader_.setStatus(3, QStringLiteral("Вошли в загрузчик."));
        answer.clear();
        stage_ = BootStage::Programming;
    }
}

void FlashProcedure::restoreAfterFlash() {
    ended_ = true;
}

void FlashProcedure::refuseFirmware() {
    loader_.driver.releaseDevices();
    restoreAfterFlash();
    const QString status = QStringLiteral("Несовместимость прошивки...");
    loader_.setStatus(3, status);
    // The journal must not record a refused flash as done.
    loader_.state.OperationFailed = true;
    outcome_ = Outcome::Mismatch;
    const QString& device = deviceType_;
    const QString file = UnitSignature::HeaderFirstWord(request_.header);
    reason_ = QStringLiteral("тип устройства %1 не совпадает с сигнатурой файла %2")
                  .arg(device, file.isEmpty() ? QStringLiteral("(пусто)") : file);
    loader_.output.notify({Notice::Kind::Error,
                           status + QStringLiteral("\r\nСигнатура файла не совпадает с "
                                                   "переданной устройством!\r\nУстройство: "
                                                   "%1\r\nФайл: %2")
                                        .arg(device, file),
                           kErrorCaption});
}

void FlashProcedure::cleanUpAfterLoop() {
    loader_.output.lockTerminalInput(false);
    loader_.driver.releaseDevices();
    restoreAfterFlash();
}

void FlashProcedure::leaveOpenOperation(Outcome outcome) {
    outcome_ = outcome;
    // The journal must not record a flash that did not complete as done.
    loader_.state.OperationFailed = true;
    if (request_.flash.endOnFailure && running()) {
        // Ended here, not cancelled: the status keeps the failure's own words.
        restoreAfterFlash();
    }
}

bool FlashProcedure::deadlinePassed(std::uint32_t deadline) const {
    return std::int32_t(loader_.runtime.tickCount() - deadline) > 0;
}

void FlashProcedure::ProgramFlash(const QString& path) {
    if (!running()) {
        return;
    }
    if (path.isEmpty()) {
        loader_.setStatus(3, QStringLiteral("Не указан файл для программирования устройства."));
        leaveOpenOperation(Outcome::NoFile);
        return;
    }
    FirmwareImage image;
    try {
        image = FirmwareImage::load(path);
    } catch (const LoaderError& e) {
        // Gone or unreadable since it was chosen: the file's fault, not the device's.
        reason_ = e.text();
        loader_.setStatus(3, reason_);
        leaveOpenOperation(Outcome::FileError);
        return;
    }
    if (image.isEmpty() || !CheckFirmwareOnForm(loader_, image)) {
        loader_.setStatus(3, QStringLiteral("Некорректный файл для программирования устройства."));
        leaveOpenOperation(Outcome::BadFile);
        return;
    }
    loader_.state.OperationStart = loader_.runtime.now();
    programmingStartTick_ = loader_.runtime.tickCount();
    try {
        waitForProgrammingStart();
        programLines(image);
    } catch (const std::exception& e) {
        const QString text = errorText(e);
        loader_.setStatus(3, text);
        loader_.output.notify({Notice::Kind::Error, text, kErrorCaption});
        // A controller that fell silent because the connection went is not "no answer".
        Outcome outcome = outcome_ == Outcome::None ? Outcome::NoAnswer : outcome_;
        if (loader_.stopReason() == Loader::Stop::LinkLost) {
            outcome = Outcome::LinkLost;
        }
        leaveOpenOperation(outcome);
    }
}

// Ends programming with a failure of its own kind: the message for the status line and the
// box, the cause for the journal.
void FlashProcedure::fail(Outcome outcome, const QString& reason, const QString& message) {
    outcome_ = outcome;
    reason_ = reason;
    throw LoaderError(message);
}

void FlashProcedure::waitForProgrammingStart() {
    LoaderState& s = loader_.state;
    loader_.setStatus(3, kProgramming);
    shownPercent_ = -1;
    const AnswerExpectation started = AwaitedAnswers::programmingStart();
    const Answer answer = loader_.exchange.ask({"f", started, 1, -1});
    if (answer.status == Answer::Status::Damaged) {
        fail(Outcome::Damaged, QStringLiteral("ответ на команду начала программирования повреждён"),
             kNoAnswer);
    }
    const std::uint32_t deadline =
        loader_.runtime.tickCount() + std::uint32_t(loader_.timings.programmingStartMs);
    while (running()) {
        if (!goesOn()) {
            break; // the connection went: nothing will answer
        }
        loader_.runtime.processEvents();
        if (deadlinePassed(deadline)) {
            loader_.driver.CloseConnection();
            throw LoaderError(kNoAnswer);
        }
        // Only the answer's whole line starts programming: a slow link may bring the rest of
        // the bootloader's prompt first, and "f"'s own line, coming after it, would then be
        // taken for the first record's answer.
        if (started.isCompleteIn(s.AnswerBuffer)) {
            break;
        }
        if (!running()) {
            loader_.setStatus(3, UiTexts::cancelledByUser());
        }
        // Polling without a pause would keep a processor core busy for the whole wait.
        loader_.runtime.sleep(1);
    }
}

void FlashProcedure::programLines(const FirmwareImage& image) {
    const auto count = int(image.size());
    records_ = count;
    loader_.output.startProgressBar(count);
    // An "OK" before the last data record has gone out does not finish programming: the
    // controller would not hold the file.
    int lastData = -1;
    for (int i = 0; i < count; ++i) {
        const char type = image.line(i).size() > 1 ? image.line(i).at(1) : '0';
        lastData = type >= '1' && type <= '3' ? i : lastData;
    }
    const bool programming = running();
    for (int i = 0; programming && i < count; ++i) {
        if (programmingStopped()) {
            return; // the counter and the bar keep how far programming really got
        }
        record_ = i + 1;
        showProgress(i + 1, count);
        programLine(image.line(i).toByteArray(), i < lastData);
        if (programmingStopped()) {
            return;
        }
        loader_.output.moveProgressBar(i + 1);
    }
    awaitEndConfirmation();
}

// Every record went out and was taken, but none was answered as the end of programming. A late
// confirmation still counts; without one the window leaves the operation open for the engineer,
// and a front end that set an end wait fails it after that long.
void FlashProcedure::awaitEndConfirmation() {
    if (outcome_ == Outcome::Success || request_.flash.endWaitMs <= 0 || !goesOn()) {
        return;
    }
    Runtime& rt = loader_.runtime;
    const std::uint32_t deadline = rt.tickCount() + std::uint32_t(request_.flash.endWaitMs);
    while (goesOn()) {
        rt.processEvents();
        const QByteArray& answer = loader_.state.AnswerBuffer;
        if (answer.contains("OK")) {
            finishSuccessfully();
            return;
        }
        if (deadlinePassed(deadline)) {
            fail(Outcome::NoEnd,
                 QStringLiteral("нет подтверждения окончания программирования: все %1 записей "
                                "приняты, ответа \"OK\" нет")
                     .arg(records_),
                 QStringLiteral("Ошибка: нет подтверждения окончания программирования!"));
        }
        rt.sleep(1);
    }
}

// The record in flight of the whole, with the share done and the time left; the status line
// follows each whole percent.
void FlashProcedure::showProgress(int record, int count) {
    // The tick counter, not the local time: a look at the local time reads the system's zone
    // rules, three times a record.
    const std::int64_t elapsed = loader_.runtime.tickCount() - programmingStartTick_;
    const ProgressEvent progress{record, count, std::nullopt,
                                 ProgressText::remainingMs(elapsed, record - 1, count)};
    loader_.showProgress(progress);
    const int percent = int(std::int64_t(record) * 100 / count);
    if (percent != shownPercent_) {
        shownPercent_ = percent;
        loader_.setStatus(3, kProgramming + ProgressText::suffix(progress));
    }
}

// A cancel or a lost connection stops the records; after a success ("OK") the remaining
// records pass without being sent.
bool FlashProcedure::programmingStopped() const {
    return outcome_ != Outcome::Success && !goesOn();
}

// Sends one record and waits until its answer decides it. After a success or a cancel the
// loop does not run, so the remaining lines pass quickly; an unanswered record raises, and so
// does one the bootloader refused.
void FlashProcedure::programLine(const QByteArray& line, bool dataFollows) {
    LoaderState& s = loader_.state;
    Runtime& rt = loader_.runtime;
    if (!goesOn()) {
        return;
    }
    const int recordType = std::uint8_t(line.at(1) - '0');
    const Answer answer = askRecord(
        {line + '\r', AwaitedAnswers::record(recordType, line), s.AttemptLimit, -1}, recordType);
    if (answer.refused()) {
        fail(Outcome::Refused,
             QStringLiteral("загрузчик отказал на записи %1 из %2: %3")
                 .arg(record_)
                 .arg(records_)
                 .arg(answer.words()),
             QStringLiteral("Ошибка: загрузчик отказал: %1").arg(answer.words()));
    }
    if (answer.status == Answer::Status::Damaged) {
        fail(Outcome::Damaged,
             QStringLiteral("ответ на запись %1 из %2 повреждён").arg(record_).arg(records_),
             QStringLiteral("Ошибка: ответ устройства повреждён!"));
    }
    // An answer not yet decided is looked at as the rest of it comes, until the record's wait.
    const std::uint32_t deadline = rt.tickCount() + std::uint32_t(s.AnswerTimeoutMs);
    while (goesOn() && !judgeAnswer(recordType, dataFollows)) {
        rt.processEvents();
        if (deadlinePassed(deadline)) {
            throw LoaderError(kNoAnswer);
        }
        rt.sleep(1);
    }
    if (!running() && outcome_ != Outcome::Success) {
        loader_.setStatus(3, UiTexts::cancelledByUser());
    }
}

// A damaged answer says nothing: the record goes again (writing a record twice writes the same
// bytes), as often as a silent one would. Not an end record: after it the bootloader restarts,
// and the record sent again would only meet the restarted controller.
Answer FlashProcedure::askRecord(const Command& command, int recordType) {
    Answer answer = loader_.exchange.ask(command);
    const int attempts = recordType <= 6 ? command.attempts : 1;
    for (int again = 1; answer.status == Answer::Status::Damaged && again < attempts; ++again) {
        answer = loader_.exchange.ask(command);
    }
    return answer;
}

// True when the answer decides the record: taken (next line) or programming finished.
bool FlashProcedure::judgeAnswer(int recordType, bool dataFollows) {
    const QByteArray& answer = loader_.state.AnswerBuffer;
    if (recordType <= 4) {
        if (answer.contains('w') || answer.contains('@') || answer.contains(".N") ||
            answer.contains(".SE")) {
            return true;
        }
        if (answer.contains("OK")) {
            if (dataFollows) {
                fail(Outcome::EndedEarly,
                     QStringLiteral("загрузчик завершил программирование на записи %1 из %2, "
                                    "до конца файла")
                         .arg(record_)
                         .arg(records_),
                     QStringLiteral("Ошибка: программирование завершено до конца файла!"));
            }
            finishSuccessfully();
            return true;
        }
        return false;
    }
    if (answer.contains('O')) {
        finishSuccessfully();
        return true;
    }
    return false;
}

void FlashProcedure::finishSuccessfully() {
    loader_.setStatus(3, QStringLiteral("Программирование закончено успешно."));
    restoreAfterFlash();
    outcome_ = Outcome::Success;
}
