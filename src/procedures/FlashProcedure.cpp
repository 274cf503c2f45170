#include "FlashProcedure.h"

#include "CommandTable.h"
#include "SilenceOutcome.h"
#include "core/Cp1251.h"
#include "core/FlashRestart.h"
#include "core/Links.h"
#include "core/Loader.h"
#include "core/LoaderError.h"
#include "core/PhaseText.h"
#include "core/ProgressText.h"
#include "firmware/FirmwareCheckPresenter.h"
#include "firmware/FirmwareImage.h"
#include "firmware/UnitSignature.h"

#include <utility>

namespace {

const QString kErrorCaption = QStringLiteral("Ошибка");
const QString kNoAnswer = QStringLiteral("Ошибка: нет ответа от устройства!");
constexpr int kRestartPulseMs = 100;
// How often the restart banner is looked at while it is awaited.
constexpr int kBannerLookMs = 100;

} // namespace

bool FlashProcedure::running() const {
    return !ended_ && loader_.state.OperationActive;
}

bool FlashProcedure::goesOn() const {
    return !ended_ && loader_.operationCanGoOn();
}

Task<Verdict> FlashProcedure::EnterBootloader(OperationRequest request) {
    request_ = request;
    ended_ = false;
    bannerSeen_ = false;
    restarts_ = 0;
    controllerMissed_ = false;
    deviceType_.clear();
    image_ = readFirmware();
    loader_.Timer3->start();
    stage_ = BootStage::WaitReset;
    verdict_.reset();
    while (goesOn()) {
        PassResult pass = PassResult::Continue;
        switch (stage_) {
        case BootStage::WaitReset:
            // What an earlier run left is gone already (the driver empties the answer when the
            // operation starts); what came since, while the connection opened, may be the
            // banner of a controller that greets every new connection.
            loader_.showPhase({Phase::WaitingForRestart});
            co_await requestRestart();
            stage_ = BootStage::WatchBanner;
            shownWaitSeconds_ = 0;
            bannerWaitStart_ = loader_.runtime.tickCount();
            break;
        case BootStage::WatchBanner:
            pass = co_await watchBanner();
            break;
        case BootStage::Programming:
            loader_.output.lockTerminalInput(true);
            try {
                co_await ProgramFlash(request_.firmwarePath);
            } catch (const std::exception& e) {
                image_.reset();
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
        co_await loader_.exchange.pause(1);
    }
    if (!verdict_) {
        // Left the loop without a verdict: cancelled, cut off, or the broker has no controller.
        verdict_ = Verdict::failed(outcomeOfSilence(loader_));
    }
    image_.reset();
    cleanUpAfterLoop();
    co_return verdict();
}

// The file is read once, before the controller restarts: the records programmed are those of
// the file whose header the signature is checked against, whatever happens to the file
// meanwhile. One that cannot be read is reported where programming would begin.
std::optional<FirmwareImage> FlashProcedure::readFirmware() {
    readError_.clear();
    if (request_.firmwarePath.isEmpty()) {
        return std::nullopt;
    }
    try {
        return FirmwareImage::load(request_.firmwarePath);
    } catch (const LoaderError& e) {
        readError_ = e.text();
    }
    return std::nullopt;
}

Verdict FlashProcedure::verdict() const {
    return verdict_.value_or(Verdict::failed(Outcome::NoAnswer));
}

bool FlashProcedure::succeeded() const {
    return verdict_ && verdict_->succeeded();
}

VerdictContext FlashProcedure::recordContext(const QString& words) const {
    VerdictContext context;
    context.record = record_;
    context.records = records_;
    context.words = words;
    return context;
}

// The restart the loader does itself, when chosen: "RESET" and CR to the command interpreter, or
// a 100 ms pulse on DTR or RTS. The banner wait starts after it.
Task<void> FlashProcedure::requestRestart() {
    Links* links = loader_.links;
    const int kind = request_.flash.restart;
    if (links == nullptr || kind <= FlashRestart::None) {
        co_return;
    }
    if (kind == FlashRestart::Command) {
        ++restarts_;
        restartTick_ = loader_.runtime.tickCount();
        loader_.state.ControllerMissing = false;
        const QByteArray reset = QByteArrayLiteral("RESET\r");
        links->write(request_.link.kind, reset);
        loader_.output.addTerminalLine(reset);
        co_return;
    }
    links->setControlLines(request_.link.kind, kind == FlashRestart::Dtr,
                           kind == FlashRestart::Rts);
    co_await loader_.exchange.pause(kRestartPulseMs);
    links->setControlLines(request_.link.kind, false, false);
}

// A broker that lacks the controller passed no restart on: while the engineer waits for the
// controller, the restart goes again at the pace of every command's wait for it (at most 30 s
// apart), each attempt named as theirs are.
Task<void> FlashProcedure::restartWhileControllerMissing() {
    // A cancel keeps the cause of the wait: no restart goes after it.
    if (request_.flash.restart != FlashRestart::Command || !loader_.state.ControllerMissing ||
        !goesOn()) {
        co_return;
    }
    controllerMissed_ = true;
    const std::uint32_t since = loader_.runtime.tickCount() - restartTick_;
    if (since < std::uint32_t(loader_.exchange.retryWait(-1))) {
        co_return;
    }
    loader_.exchange.showControllerWait(restarts_ + 1);
    co_await requestRestart();
}

// "Ожидание сброса устройства... 15 с": how long the engineer has been waiting for the
// restart, every 5 seconds, until a piece of the banner has come (noise does not stop it).
void FlashProcedure::showBannerWait(const QByteArray& heard) {
    if (controllerMissed_) {
        return; // the wait for the controller says how long it has been
    }
    const auto seconds = int((loader_.runtime.tickCount() - bannerWaitStart_) / 1000);
    const bool bannerBegun = heard.contains("UNIT:") || heard.contains("BIOS");
    if (seconds >= shownWaitSeconds_ + 5 && !bannerBegun) {
        shownWaitSeconds_ = seconds;
        PhaseEvent waiting{Phase::WaitingForRestart};
        waiting.seconds = seconds;
        loader_.showPhase(waiting);
    }
}

bool FlashProcedure::restartOverdue() const {
    return request_.flash.resetWaitMs > 0 &&
           std::int64_t(loader_.runtime.tickCount() - bannerWaitStart_) >=
               request_.flash.resetWaitMs;
}

Task<FlashProcedure::PassResult> FlashProcedure::watchBanner() {
    if (restartOverdue()) {
        // A controller that showed its banner restarted: its bootloader did not answer.
        VerdictContext context;
        context.device = deviceType_;
        context.seconds = int(request_.flash.resetWaitMs / 1000);
        verdict_ = Verdict::failed(Outcome::NoAnswer,
                                   bannerSeen_ ? Cause::NoBootloader : Cause::NoRestart, context);
        co_return PassResult::LeaveLoop;
    }
    const Answer heard = co_await loader_.exchange.listen(kBannerLookMs);
    co_await restartWhileControllerMissing();
    showBannerWait(heard.text);
    if (heard.text.contains("UNIT:")) {
        bannerSeen_ = true;
        loader_.showPhase({Phase::ReadingSignature});
        co_return co_await checkSignature(UnitSignature::EndedDeviceSignature(heard.text),
                                          heard.text);
    }
    if (heard.text.contains("BIOS")) {
        // A device without a signature line is entered without a check.
        bannerSeen_ = true;
        co_await enterBootloaderMode();
    }
    co_return PassResult::Continue;
}

Task<FlashProcedure::PassResult> FlashProcedure::checkSignature(QByteArray deviceSignature,
                                                                QByteArray banner) {
    if (deviceSignature.isEmpty()) {
        co_return PassResult::Continue;
    }
    deviceType_ = Cp1251::decode(deviceSignature);
    loader_.output.showDeviceType(deviceType_);
    const QString fileSignature = UnitSignature::HeaderFirstWord(request_.header);
    if (!UnitSignature::Fits(fileSignature, deviceSignature)) {
        refuseFirmware();
        co_return PassResult::LeaveLoop;
    }
    loader_.showPhase({Phase::SignatureAccepted});
    if (banner.contains("BIOS:")) {
        loader_.showPhase({Phase::EnteringBootloader});
        co_await enterBootloaderMode();
    }
    co_return PassResult::Continue;
}

// "i", then the pause in which the rest of its answer comes; the bootloader is in its command
// mode when the answer holds its prompt or an "i".
Task<void> FlashProcedure::enterBootloaderMode() {
    co_await loader_.exchange.ask(CommandTable::bootloaderEntry());
    const Answer answer = co_await loader_.exchange.listen(loader_.timings.bootloaderPauseMs);
    if (answer.text.contains("BIOS>") || answer.text.contains('i')) {
        loader_.showPhase({Phase::InBootloader});
        stage_ = BootStage::Programming;
    }
}

void FlashProcedure::restoreAfterFlash() {
    ended_ = true;
}

void FlashProcedure::refuseFirmware() {
    loader_.driver.releaseDevices();
    restoreAfterFlash();
    const PhaseEvent refused{Phase::Refused};
    loader_.showPhase(refused);
    // The journal must not record a refused flash as done.
    loader_.state.OperationFailed = true;
    const QString& device = deviceType_;
    const QString file = UnitSignature::HeaderFirstWord(request_.header);
    VerdictContext context;
    context.device = device;
    context.signature = file;
    verdict_ = Verdict::failed(Outcome::Refused, Cause::DeviceMismatch, context);
    loader_.output.notify(
        {Notice::Kind::Error,
         PhaseText::status(refused) + QStringLiteral("\r\nСигнатура файла не совпадает с "
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

void FlashProcedure::leaveOpenOperation(Verdict verdict) {
    verdict_ = std::move(verdict);
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

Task<void> FlashProcedure::ProgramFlash(QString path) {
    if (!running()) {
        co_return;
    }
    if (path.isEmpty()) {
        loader_.showPhase(
            PhaseEvent::message(QStringLiteral("Не указан файл для программирования устройства.")));
        leaveOpenOperation(Verdict::failed(Outcome::FileRefused, Cause::NoFile));
        co_return;
    }
    if (!image_) {
        // Gone or unreadable since it was chosen: the file's fault, not the device's.
        loader_.showPhase(PhaseEvent::message(readError_));
        leaveOpenOperation(Verdict::failed(Outcome::FileError, readError_));
        co_return;
    }
    const FirmwareImage& image = *image_;
    if (image.isEmpty() || !CheckFirmwareOnForm(loader_, image)) {
        loader_.showPhase(PhaseEvent::message(
            QStringLiteral("Некорректный файл для программирования устройства.")));
        leaveOpenOperation(Verdict::failed(Outcome::FileRefused, Cause::FileInvalid));
        co_return;
    }
    loader_.state.OperationStart = loader_.runtime.now();
    programmingStartTick_ = loader_.runtime.tickCount();
    try {
        co_await waitForProgrammingStart();
        co_await programLines(image);
    } catch (const std::exception& e) {
        const QString text = errorText(e);
        loader_.showPhase(PhaseEvent::message(text));
        loader_.output.notify({Notice::Kind::Error, text, kErrorCaption});
        // A controller that fell silent because the connection went is not "no answer".
        Verdict verdict = verdict_.value_or(Verdict::failed(Outcome::NoAnswer));
        if (loader_.stopReason() == Loader::Stop::LinkLost) {
            verdict = Verdict::failed(Outcome::LinkLost);
        }
        leaveOpenOperation(verdict);
    }
}

// Ends programming with a failure of its own kind: the message for the status line and the
// box, the cause for the journal.
void FlashProcedure::fail(Verdict verdict, const QString& message) {
    verdict_ = std::move(verdict);
    throw LoaderError(message);
}

// "f" is answered by any text but an error; what arrives before its silence belongs to it, so
// that its rest is never taken for the first record's answer. A bootloader that stays silent
// gets a little longer before the connection is closed.
Task<void> FlashProcedure::waitForProgrammingStart() {
    loader_.showPhase({Phase::Programming});
    shownPercent_ = -1;
    const Command start = CommandTable::programmingStart();
    Answer answer = co_await loader_.exchange.ask(start);
    if (answer.status == Answer::Status::Silent) {
        answer =
            co_await loader_.exchange.listen(loader_.timings.programmingStartMs, start.awaited);
    }
    switch (answer.status) {
    case Answer::Status::Whole:
    case Answer::Status::Partial:
        co_return;
    case Answer::Status::Refused:
        fail(Verdict::failed(Outcome::Refused, Cause::StartRefused, recordContext(answer.words())),
             QStringLiteral("Ошибка: загрузчик отказал: %1").arg(answer.words()));
    case Answer::Status::Damaged:
        fail(Verdict::failed(Outcome::Damaged, Cause::StartDamaged), kNoAnswer);
    case Answer::Status::Cancelled:
        loader_.showPhase({Phase::Cancelled});
        co_return;
    case Answer::Status::LinkLost:
        co_return;
    case Answer::Status::Silent:
        break;
    }
    loader_.driver.CloseConnection();
    throw LoaderError(kNoAnswer);
}

Task<void> FlashProcedure::programLines(const FirmwareImage& image) {
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
            co_return; // the counter and the bar keep how far programming really got
        }
        record_ = i + 1;
        lastRecordEnds_ = image.line(i).size() > 1 && image.line(i).at(1) >= '5';
        showProgress(i + 1, count);
        co_await programLine(image.line(i).toByteArray(), i < lastData);
        if (programmingStopped()) {
            co_return;
        }
        loader_.output.moveProgressBar(i + 1);
    }
    co_await awaitEndConfirmation();
}

// Every record went out and was taken, but none was answered as the end of programming. A late
// confirmation still counts; without one the window leaves the operation open for the engineer,
// and a front end that set an end wait fails it after that long.
Task<void> FlashProcedure::awaitEndConfirmation() {
    if (succeeded() || request_.flash.endWaitMs <= 0 || !goesOn()) {
        co_return;
    }
    const auto waitMs = std::int32_t(std::min<std::int64_t>(request_.flash.endWaitMs, INT32_MAX));
    // The end record is confirmed by an "O", a data record ending the programming by "OK".
    const QByteArray end = lastRecordEnds_ ? "O" : "OK";
    const AnswerExpectation confirmation = AnswerExpectation::line({end});
    const Answer answer = co_await loader_.exchange.listen(waitMs, confirmation);
    if (answer.whole() && answer.text.contains(end)) {
        finishSuccessfully();
        co_return;
    }
    if (!goesOn()) {
        co_return;
    }
    fail(Verdict::failed(Outcome::NoAnswer, Cause::NoEndConfirmation, recordContext()),
         QStringLiteral("Ошибка: нет подтверждения окончания программирования!"));
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
        PhaseEvent programming{Phase::Programming};
        programming.done = record;
        programming.total = count;
        programming.remainingMs = progress.remainingMs;
        loader_.showPhase(programming);
    }
}

// A cancel or a lost connection stops the records; after a success ("OK") the remaining
// records pass without being sent.
bool FlashProcedure::programmingStopped() const {
    return !succeeded() && !goesOn();
}

// Sends one record, once, and judges its answer: taken (next line), the end of programming, or
// a failure. An error line refuses it whatever letters it holds; a progress line before the
// acknowledgement is waited through; silence, an answer without any awaited text and a damaged
// one fail the programming, since the record may have been written (a record is never sent
// twice). After a success or a cancel the remaining lines pass quickly.
Task<void> FlashProcedure::programLine(QByteArray line, bool dataFollows) {
    if (!goesOn()) {
        co_return;
    }
    const std::int32_t waitMs = std::int32_t(std::min<std::int64_t>(
        2 * std::int64_t(std::max(0, loader_.state.AnswerTimeoutMs)), INT32_MAX));
    const Answer answer = co_await loader_.exchange.ask(CommandTable::record(line, waitMs));
    switch (answer.status) {
    case Answer::Status::Whole:
        judgeAnswer(std::uint8_t(line.at(1) - '0'), answer.text, dataFollows);
        break;
    case Answer::Status::Refused:
        fail(Verdict::failed(Outcome::Refused, Cause::RecordRefused, recordContext(answer.words())),
             QStringLiteral("Ошибка: загрузчик отказал: %1").arg(answer.words()));
    case Answer::Status::Damaged:
        fail(Verdict::failed(Outcome::Damaged, Cause::RecordDamaged, recordContext()),
             QStringLiteral("Ошибка: ответ устройства повреждён!"));
    case Answer::Status::Silent:
    case Answer::Status::Partial:
        if (line.at(1) >= '5' && request_.flash.endWaitMs > 0) {
            // The end record took long to answer: its confirmation may still come, and the
            // end wait looks for it.
            break;
        }
        // The report names no record for a silence: the controller's silence is the cause.
        fail(Verdict::failed(Outcome::NoAnswer), kNoAnswer);
    case Answer::Status::Cancelled:
    case Answer::Status::LinkLost:
        break;
    }
    if (!running() && !succeeded()) {
        loader_.showPhase({Phase::Cancelled});
    }
}

// A whole answer: taken, or programming finished.
void FlashProcedure::judgeAnswer(int recordType, const QByteArray& answer, bool dataFollows) {
    if (recordType <= 4) {
        if (CommandTable::acknowledgesRecord(answer)) {
            return;
        }
        if (dataFollows) {
            fail(Verdict::failed(Outcome::Unconfirmed, Cause::EndedEarly, recordContext()),
                 QStringLiteral("Ошибка: программирование завершено до конца файла!"));
        }
    }
    finishSuccessfully();
}

void FlashProcedure::finishSuccessfully() {
    loader_.showPhase({Phase::Programmed});
    restoreAfterFlash();
    verdict_ = Verdict{};
}
