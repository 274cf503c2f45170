#include "StorageLoadProcedure.h"

#include "CommandTable.h"
#include "InterpreterAnswer.h"
#include "PasswordDialogue.h"
#include "ReadBackProcedure.h"
#include "SettingCommand.h"
#include "SilenceOutcome.h"
#include "StorageDescriptor.h"
#include "TextStream.h"
#include "core/Cp1251.h"
#include "core/Loader.h"
#include "core/LoaderError.h"
#include "core/OutcomeText.h"
#include "core/Questions.h"

#include "firmware/FirmwareCheckPresenter.h"
#include <algorithm>

namespace {

const QString kLoadError = QStringLiteral("Загрузчик:Ошибка загрузки файла");
const QString kFileDamaged = QStringLiteral("Загрузчик:Файл поврежден.");
const QString kNoAnswer = QStringLiteral("Загрузчик:Нет ответа от контроллера.");
const QString kAccessDenied = QStringLiteral("LUMET:Отказ в доступе!");
const QString kDone = QStringLiteral("Загрузчик:Операция завершена");
const QString kNoSignature = QStringLiteral("Не найдена сигнатура удаленной загрузки!");

// The built-in password of the upload login; the user is not asked for it.
const QByteArray kUploadPassword = "PASSWORD TOVRIL";

constexpr std::uint16_t kFirstPage = 70;
constexpr std::uint16_t kFirstAddr = 10;
constexpr std::uint16_t kLastAddr = 525;

QByteArray withNumber(const char* keyword, std::int64_t number) {
    return QByteArray(keyword) + ' ' + QByteArray::number(number);
}

// The attempts of a login command and of the descriptor's commands while the controller is
// silent.
constexpr int kFirstLoginAttempts = 10;
constexpr int kUploadLoginAttempts = 99;
constexpr int kDescriptorAttempts = 10;
// Writes of one piece that the controller, logged in again each time, does not confirm.
constexpr int kPieceAttempts = 10;

} // namespace

StorageLoadProcedure::StorageLoadProcedure(Loader& loader, Questions& questions)
    : loader_(loader), questions_(questions) {
    pending_.reserve(TextStream::kPieceLimit);
    scratch_.reserve(TextStream::kPieceLimit);
}

StorageLoadProcedure::~StorageLoadProcedure() = default;

Task<Answer> StorageLoadProcedure::send(QByteArray command, int attempts) {
    co_return co_await loader_.exchange.ask(CommandTable::interpreter(command, attempts));
}

// Why a login command was not confirmed, in the controller's words where it said any; false
// when the controller fell silent (the caller names the silence).
bool StorageLoadProcedure::endWithAnswer(const QByteArray& command, const Answer& answer) {
    VerdictContext context;
    context.command = command;
    context.words = answer.words();
    switch (answer.status) {
    case Answer::Status::Refused:
    case Answer::Status::Whole:
        end(Outcome::Refused, Cause::LoginRefused, context);
        return true;
    case Answer::Status::Partial:
    case Answer::Status::Damaged:
        // Reported as the controller's silence, as a command that never got its answer.
        end(Verdict::failed(Outcome::NoAnswer));
        return true;
    case Answer::Status::Silent:
    case Answer::Status::Cancelled:
    case Answer::Status::LinkLost:
        break;
    }
    return false;
}

// Every end short of a stored image is a failure for the driver's report and the journal.
void StorageLoadProcedure::end(Verdict verdict) {
    loader_.state.OperationFailed = !verdict.succeeded();
    verdict_ = std::move(verdict);
}

void StorageLoadProcedure::end(Outcome outcome, Cause cause, VerdictContext context) {
    end(Verdict::failed(outcome, cause, std::move(context)));
}

// The controller fell silent: a cancel or a lost connection explains it where one happened.
void StorageLoadProcedure::endUnanswered() {
    end(Verdict::failed(outcomeOfSilence(loader_)));
}

Verdict StorageLoadProcedure::verdict() const {
    Verdict v = verdict_.value_or(Verdict::failed(Outcome::NoAnswer));
    if (!version_.isEmpty()) {
        v.answers.append(version_);
    }
    // A refused file has nothing stored to resume. After a failed finalisation the position is
    // the end of the stored text: a resumed run skips all of it, writes the descriptor again
    // and finalises.
    const bool resumable = v.outcome != Outcome::FileRefused;
    if (!v.succeeded() && resumable) {
        const LoaderState& s = loader_.state;
        v.resume = ResumePosition{s.StartPage, s.PageAddr, s.LastLoadedLine};
    }
    return v;
}

void StorageLoadProcedure::release() {
    stream_.reset();
    image_.release();
}

Task<Verdict> StorageLoadProcedure::LoadToStorage(OperationRequest request) {
    request_ = request;
    struct Releaser {
        StorageLoadProcedure& p;
        ~Releaser() { p.release(); }
    } releaser{*this};
    LoaderState& s = loader_.state;
    verdict_.reset();
    errorMessage_.clear();
    information_.clear();
    version_.clear();
    userPassword_.clear();
    loader_.Timer3->start();
    resultMessage_ = kLoadError;
    s.OperationFailed = true;
    if (!fileAccepted() || !signatureFound()) {
        co_return verdict();
    }
    resultMessage_ = kNoAnswer;
    const Login login = co_await firstLogin();
    if (login == Login::Ended) {
        co_return verdict();
    }
    if (login == Login::Granted) {
        if (!chooseStartPosition()) {
            endUnanswered(); // cancelled at the question
            co_return verdict();
        }
        prepare();
        skipPieces();
        if (co_await uploadStretch() == Stretch::Ended) {
            co_return verdict();
        }
    }
    finish();
    co_return verdict();
}

// A file that fails its check is refused before anything is sent: storing a damaged image
// would only be found out by the controller's own check, if at all.
bool StorageLoadProcedure::fileAccepted() {
    image_ = FirmwareImage::load(request_.firmwarePath);
    totalLines_ = image_.size();
    const FirmwareVerdict checked = CheckFirmwareShown(loader_, image_);
    if (checked.sound()) {
        // The header the file holds now, as the check read it: the one its signature is in.
        header_ = checked.keptHeader();
        loader_.state.OperationFailed = false;
        return true;
    }
    resultMessage_ = kFileDamaged;
    end(Outcome::FileRefused, Cause::FileDamaged);
    finish();
    return false;
}

bool StorageLoadProcedure::signatureFound() {
    const QString& header = header_;
    if (header.contains(QStringLiteral("64")) || header.contains(QStringLiteral("2."))) {
        return true;
    }
    resultMessage_ = kNoSignature;
    loader_.showPhase(PhaseEvent::message(resultMessage_));
    end(Outcome::FileRefused, Cause::NoUpdateSignature);
    loader_.output.notify(
        {Notice::Kind::Error,
         QStringLiteral("Прошивка не годится для удаленного обновления!\r\n") + resultMessage_,
         QString()});
    return false;
}

Task<StorageLoadProcedure::Login> StorageLoadProcedure::firstLogin() {
    for (;;) {
        const PasswordResult login =
            co_await PasswordDialogue(loader_.exchange, kFirstLoginAttempts, questions_);
        if (!login.firstAnswered) {
            endUnanswered();
            co_return Login::Ended;
        }
        userPassword_ = login.password;
        if (!login.granted && !login.denied) {
            // Neither word: the controller's answer is named as it came.
            if (!endWithAnswer("PASSWORD", login.latest)) {
                endUnanswered();
            }
            co_return Login::Ended;
        }
        if (!login.granted) {
            resultMessage_ = kAccessDenied;
            end(Outcome::Refused, Cause::AccessDenied);
            co_return Login::Denied;
        }
        const SettingResult modem =
            co_await askSetting(loader_.exchange, "MODEM_CON TRUE", kFirstLoginAttempts);
        if (!modem.confirmed) {
            if (!endWithAnswer("MODEM_CON TRUE", modem.answer)) {
                endUnanswered();
            }
            co_return Login::Ended;
        }
        if ((co_await askSetting(loader_.exchange, "DEBUG 0", kFirstLoginAttempts)).confirmed) {
            co_return Login::Granted;
        }
        if (loginGivenUp()) {
            co_return Login::Ended;
        }
    }
}

// False when the engineer cancelled the operation at the question: the resume position stays.
bool StorageLoadProcedure::chooseStartPosition() {
    LoaderState& s = loader_.state;
    s.LinesSent = 0;
    const Questions::Start start =
        questions_.startPosition(ResumePosition{s.StartPage, s.PageAddr, s.LastLoadedLine});
    if (start.cancelled) {
        loader_.driver.cancel(QString());
        return false;
    }
    if (start.fromBeginning) {
        s.StartPage = kFirstPage;
        s.PageAddr = kFirstAddr;
        s.LastLoadedLine = 0;
    } else {
        s.StartPage = std::max(start.position.page, kFirstPage);
        s.PageAddr = start.position.addr > kLastAddr ? 0 : start.position.addr;
        s.LastLoadedLine = start.position.line;
    }
    confirmedPage_ = s.StartPage;
    confirmedAddr_ = s.PageAddr;
    confirmedLine_ = s.LastLoadedLine;
    anchor_ = Position{s.StartPage, s.PageAddr, s.LastLoadedLine, 0, true};
    positionKnown_ = true;
    return true;
}

void StorageLoadProcedure::prepare() {
    crc_ = TextCrc{};
    remaining_ = StoreProgress::RemainingTime{};
    stream_ = std::make_unique<TextStream>(image_);
    loader_.output.startProgressBar(int(stream_->size() / 1000));
}

// The pieces stored by an earlier run are read but not sent, so the checksum still covers the
// text from its first character.
void StorageLoadProcedure::skipPieces() {
    LoaderState& s = loader_.state;
    while (s.LinesSent < s.LastLoadedLine) {
        if (!loader_.operationCanGoOn() || stream_->atEnd()) {
            break;
        }
        stream_->readPiece(scratch_, crc_);
        loader_.output.moveProgressBar(int(stream_->position() / 1000));
        if (!scratch_.isEmpty()) {
            ++s.LinesSent;
            loader_.showProgress(progress(std::nullopt));
            loader_.showPhase(storing(std::nullopt));
        }
    }
}

// The upload from its first login to the descriptor and the finalisation. An error on the way
// (a conversion error in a write answer, a send on a connection that is gone) ends the upload.
Task<StorageLoadProcedure::Stretch> StorageLoadProcedure::uploadStretch() {
    try {
        pending_.resize(0);
        if (!co_await UploadLogin()) {
            keepConfirmedPosition();
            endUnanswered();
            co_return Stretch::Ended;
        }
        const Stretch stretch = co_await uploadLoop();
        if (stretch != Stretch::Uploaded) {
            co_return stretch;
        }
        if (loader_.state.OperationFailed) {
            co_return Stretch::Stopped;
        }
        if ((co_await writeDescriptor()) && (co_await storedTextVerified())) {
            co_await finalise();
            if (!completed()) {
                // The text and its descriptor are stored: a resumed run starts at their end.
                keepConfirmedPosition();
            }
        }
        co_return Stretch::Uploaded;
    } catch (const std::exception& e) {
        errorMessage_ = errorText(e);
        loader_.showPhase(PhaseEvent::failed(errorMessage_));
        keepConfirmedPosition();
        // A write on a connection that is gone fails as a lost connection.
        end(loader_.operationCanGoOn() ? Verdict::failed(Outcome::Error, errorMessage_)
                                       : Verdict::failed(outcomeOfSilence(loader_)));
        co_return Stretch::Stopped;
    }
}

// Logs in for the upload and puts the controller at the position to write next. Repeats
// without limit while the controller is silent or does not echo a command; false when the user
// cancelled or the connection is gone.
Task<bool> StorageLoadProcedure::UploadLogin() {
    if (loginWaitMs > 0) {
        // The next write sets its own wait again.
        loader_.state.AnswerTimeoutMs = loginWaitMs;
    }
    for (;;) {
        const int attempts = loginAttemptsBound > 0 ? 1 : kUploadLoginAttempts;
        const Answer password = co_await askRepeatable(loader_.exchange, "PASSWORD", attempts);
        if (!password.heard() && password.status != Answer::Status::Damaged) {
            if (!loader_.operationCanGoOn() || loginGivenUp()) {
                co_return false;
            }
            loader_.showPhase({Phase::WaitingForDevice});
            continue;
        }
        QByteArray latest = password.text;
        if (InterpreterAnswer::contains(latest, "denied")) {
            latest = (co_await askRepeatable(loader_.exchange, kUploadPassword, attempts)).text;
        }
        if (!InterpreterAnswer::contains(latest, "granted")) {
            // The second try uses the password the user gave at the first login, if any: a
            // controller that does not take the built-in one would otherwise refuse every
            // write for as long as the run lasts.
            const QByteArray again =
                userPassword_.isEmpty() ? kUploadPassword : "PASSWORD " + userPassword_;
            co_await askRepeatable(loader_.exchange, again, attempts);
        }
        if (co_await loginCommandsEchoed()) {
            loginFailures_ = 0;
            co_return true;
        }
        if (!loader_.operationCanGoOn() || loginGivenUp()) {
            co_return false;
        }
    }
}

// A script's bound on logins that go unanswered or unconfirmed in a row; the window waits on.
bool StorageLoadProcedure::loginGivenUp() {
    return loginAttemptsBound > 0 && ++loginFailures_ >= loginAttemptsBound;
}

Task<bool> StorageLoadProcedure::loginCommandsEchoed() {
    const LoaderState& s = loader_.state;
    const int attempts = loginAttemptsBound > 0 ? 1 : kUploadLoginAttempts;
    const QList<QByteArray> mode{withNumber("WRITECOUNTER", s.LastLoadedLine),
                                 QByteArray("PAGEHEXMODE FALSE")};
    for (const QByteArray& command : mode) {
        if (!(co_await askSetting(loader_.exchange, command, attempts)).confirmed) {
            co_return false;
        }
    }
    PhaseEvent positioning{Phase::SettingStartPage};
    positioning.page = s.StartPage;
    loader_.showPhase(positioning);
    if (!(co_await askSetting(loader_.exchange, withNumber("PAGENUM", s.StartPage), attempts))
             .confirmed) {
        co_return false;
    }
    PhaseEvent addressing{Phase::SettingPageAddress};
    addressing.address = s.PageAddr;
    loader_.showPhase(addressing);
    co_return (co_await askSetting(loader_.exchange, withNumber("PAGEADDR", s.PageAddr), attempts))
        .confirmed;
}

Task<StorageLoadProcedure::Stretch> StorageLoadProcedure::uploadLoop() {
    LoaderState& s = loader_.state;
    pieceFailures_ = 0;
    while (!stream_->atEnd() || !pending_.isEmpty()) {
        if (!loader_.operationCanGoOn()) {
            keepConfirmedPosition();
            endUnanswered();
            co_return Stretch::Stopped;
        }
        if (pending_.isEmpty()) {
            stream_->readPiece(pending_, crc_);
            loader_.output.moveProgressBar(int(stream_->position() / 1000));
            if (pending_.isEmpty()) {
                continue; // an empty line
            }
        }
        ++s.LinesSent;
        // Assigned directly: the menu caption that names the wait time is left as it is.
        s.AnswerTimeoutMs = loader_.timings.pageWriteMs;
        switch (co_await writePending()) {
        case Write::Accepted:
            accept();
            break;
        case Write::Failed:
            if (++pieceFailures_ >= kPieceAttempts) {
                co_return pieceGivenUp();
            }
            rollBack();
            if (s.OperationActive && !co_await UploadLogin()) {
                endUnanswered();
                co_return Stretch::Ended;
            }
            break;
        case Write::Unanswered:
            break; // the next pass stops
        }
    }
    co_return Stretch::Uploaded;
}

// The controller logs in every time and still does not confirm the same piece: it will not,
// and the run ends with the position to resume from rather than logging in for ever.
StorageLoadProcedure::Stretch StorageLoadProcedure::pieceGivenUp() {
    rollBack();
    VerdictContext context;
    context.place = ResumePosition{confirmedPage_, confirmedAddr_, confirmedLine_};
    context.record = int(confirmedLine_) + 1; // the line of the text in flight
    context.attempts = kPieceAttempts;
    context.words = lastWrite_.words();
    end(Outcome::Refused, Cause::PieceUnconfirmed, context);
    return Stretch::Ended;
}

// One piece out. A write counts as confirmed only when it is answered whole with "OK" and the
// next line count after "STR:", and, where the controller says where it is ("NUM:", "ADDR:"),
// a position moved by exactly this piece from the last confirmed one. Anything else, silence
// included, goes through the roll-back and the login: a write is never sent blindly again,
// since the device may have stored the first copy, and the answer to an abandoned write then
// confirms nothing.
Task<StorageLoadProcedure::Write> StorageLoadProcedure::writePending() {
    lastWrite_ = co_await send("PAGEWRITE " + pending_, 1);
    switch (lastWrite_.status) {
    case Answer::Status::Cancelled:
    case Answer::Status::LinkLost:
        co_return Write::Unanswered;
    case Answer::Status::Whole:
        co_return confirmation(lastWrite_.text);
    default:
        co_return Write::Failed;
    }
}

StorageLoadProcedure::Write StorageLoadProcedure::confirmation(const QByteArray& answer) {
    if (!InterpreterAnswer::contains(answer, "OK") ||
        !InterpreterAnswer::contains(answer, "STR:")) {
        return Write::Failed;
    }
    // The counts of the line that confirms, not of a late line before it.
    const QByteArray a = InterpreterAnswer::confirmationLine(answer);
    const auto line = InterpreterAnswer::valueAfterKey(a, "STR:");
    if (!line || int(*line) != int(confirmedLine_) + 1) {
        return Write::Failed;
    }
    accepted_ = Position{};
    accepted_.line = *line;
    accepted_.pageSize = pageSize_;
    if (!saysWhere(a)) {
        // A controller that does not say where it is: the count alone confirms the write.
        return Write::Accepted;
    }
    const auto page = InterpreterAnswer::valueAfterKey(a, "NUM:");
    const auto addr = InterpreterAnswer::valueAfterKey(a, "ADDR:");
    // A place begun but not given ("NUM:" without its number, an answer cut short) confirms
    // nothing.
    if (!page || !addr || (positionKnown_ && !movedByPiece(*page, *addr, &accepted_.pageSize))) {
        return Write::Failed;
    }
    accepted_.known = true;
    accepted_.page = *page;
    accepted_.addr = *addr;
    return Write::Accepted;
}

// The controller's position after the write is the confirmed one moved on by the piece: on the
// same page, or one or more pages on (pages smaller than a piece), where pages of the
// controller's size put it. The size is learnt at the first crossing and must stay the same at
// every later one. A controller may report a page it filled to its end as "ADDR:<size>" and
// move on to the next page only at the next write.
bool StorageLoadProcedure::movedByPiece(std::uint16_t page, std::uint16_t addr,
                                        int* pageSize) const {
    const int from = int(confirmedAddr_);
    const int end = from + int(pending_.size());
    const int pages = int(page) - int(confirmedPage_);
    if (pages == 0) {
        return int(addr) == end;
    }
    const int span = end - int(addr);
    if (pages < 0 || span <= 0 || span % pages != 0) {
        return false;
    }
    const int size = span / pages;
    if (size <= kFirstAddr || size < from || int(addr) > size) {
        return false;
    }
    if (*pageSize == 0) {
        *pageSize = size;
    }
    return size == *pageSize;
}

void StorageLoadProcedure::accept() {
    loader_.state.OperationFailed = false;
    pieceFailures_ = 0;
    pageSize_ = accepted_.pageSize;
    pending_.resize(0);
    showProgress();
    confirmedLine_ = accepted_.line;
    if (accepted_.known) {
        confirmedPage_ = accepted_.page;
        confirmedAddr_ = accepted_.addr;
        positionKnown_ = true;
        anchor_ = accepted_;
    } else {
        positionKnown_ = false;
    }
    const QString caption = positionLine();
    loader_.output.showStoredPosition(caption);
    if (request_.trace) {
        loader_.addTerminalLine(Cp1251::encode(caption));
    }
}

void StorageLoadProcedure::showProgress() {
    const LoaderState& s = loader_.state;
    try {
        remaining_.confirmed(loader_.runtime.now());
        std::optional<std::int64_t> left;
        if (remaining_.known()) {
            left = remaining_.remainingMs(std::int64_t(totalLines_) - s.LinesSent);
        }
        loader_.showProgress(progress(left));
        loader_.showPhase(storing(left));
    } catch (const std::exception& e) {
        loader_.showPhase(PhaseEvent::failed(errorText(e)));
    }
}

PhaseEvent StorageLoadProcedure::storing(std::optional<std::int64_t> remainingMs) const {
    PhaseEvent storing{Phase::StoringText};
    storing.done = stream_->position();
    storing.total = stream_->size();
    storing.bytes = crc_.byteCount;
    storing.lines = loader_.state.LinesSent;
    storing.remainingMs = remainingMs;
    return storing;
}

ProgressEvent StorageLoadProcedure::progress(std::optional<std::int64_t> remainingMs) const {
    return ProgressEvent{stream_->position(), stream_->size(), std::int64_t(crc_.byteCount),
                         remainingMs};
}

QString StorageLoadProcedure::positionLine() const {
    return StoreProgress::positionLine(confirmedPage_, confirmedAddr_, confirmedLine_, crc_.value);
}

// Back to the last position both sides agree on. Where the controller confirmed writes without
// saying where it is, that is the last place it did say, and the pieces since are sent again.
void StorageLoadProcedure::rollBack() {
    keepConfirmedPosition();
    loader_.state.OperationFailed = true;
    if (!positionKnown_) {
        rewindToAnchor();
    }
}

// Reads the text again up to the anchor's line, as a resumed run does, so that the next piece
// sent is the first one after it.
void StorageLoadProcedure::rewindToAnchor() {
    LoaderState& s = loader_.state;
    confirmedPage_ = anchor_.page;
    confirmedAddr_ = anchor_.addr;
    confirmedLine_ = anchor_.line;
    positionKnown_ = true;
    pending_.resize(0);
    s.LinesSent = 0;
    prepare();
    skipPieces();
}

// The last confirmed position is where a later run resumes; where the controller stopped
// saying where it is, the last place it said.
void StorageLoadProcedure::keepConfirmedPosition() {
    LoaderState& s = loader_.state;
    const bool known = positionKnown_;
    s.StartPage = known ? confirmedPage_ : anchor_.page;
    s.PageAddr = known ? confirmedAddr_ : anchor_.addr;
    s.LastLoadedLine = known ? confirmedLine_ : anchor_.line;
}

// The descriptor goes to page 70, address 0, in hex mode, then four zero bytes up to the text
// at address 10. Each is written only once the controller has confirmed the page, the address
// and hex mode (written in text mode or on another page, it would overwrite the firmware's
// text), and is written again only at that same place. The run counts as stored only when the
// controller confirmed both where they belong.
Task<bool> StorageLoadProcedure::writeDescriptor() {
    const StorageDescriptor descriptor{crc_.byteCount, crc_.value};
    lastLineTaken_ = confirmedLine_;
    // The descriptor's confirmation leaves the controller right where the zeros go.
    if (!co_await writeInFirmwareArea(0, descriptor.encode(), false) ||
        !co_await writeInFirmwareArea(StorageDescriptor::kDigits / 2, "00000000", true)) {
        co_return false;
    }
    end(Verdict{});
    co_return true;
}

// One write in hex mode at page 70, `addr`, positioned first unless the controller is known to
// be there already. A write whose answer went missing is positioned and written again, never
// sent blindly after itself: the controller may have stored the first copy, and the second
// would then land behind it, in the text. So is a write answered with an earlier write's
// answer, come again or late (earlierAnswer): this write's own answer is still out, and it is
// let in first, so that the positioning does not reach the controller in the same breath.
Task<bool> StorageLoadProcedure::writeInFirmwareArea(int addr, QByteArray hex, bool positioned) {
    Answer written;
    for (int attempt = 1; attempt <= kDescriptorAttempts; ++attempt) {
        if ((attempt > 1 || !positioned) && !co_await positionedInFirmwareArea(addr)) {
            keepConfirmedPosition(); // the text is stored: a resumed run skips all of it
            co_return false;
        }
        written = co_await send("PAGEWRITE " + hex, 1);
        if (written.whole() &&
            earlierAnswer(InterpreterAnswer::confirmationLine(written.text), addr)) {
            co_await letAnswerArrive();
            continue;
        }
        if (written.status != Answer::Status::Silent && written.status != Answer::Status::Partial &&
            written.status != Answer::Status::Damaged) {
            break;
        }
    }
    if (!written.whole() || !InterpreterAnswer::contains(written.text, "OK")) {
        keepConfirmedPosition();
        if (!loader_.operationCanGoOn() || written.status == Answer::Status::Silent) {
            endUnanswered();
        } else {
            VerdictContext context;
            context.words = written.words();
            end(Outcome::Refused, Cause::DescriptorRefused, context);
        }
        co_return false;
    }
    const int endAddr = addr + int(hex.size() / 2);
    const QByteArray confirmation = InterpreterAnswer::confirmationLine(written.text);
    if (reportsPlace(confirmation, endAddr) || !saysWhere(confirmation)) {
        // Where the controller does not say where it is, its count confirms the write.
        lastLineTaken_ =
            InterpreterAnswer::valueAfterKey(confirmation, "STR:").value_or(lastLineTaken_);
        co_return true;
    }
    // The bytes went somewhere else, perhaps into the text: only a store from the start is sure
    // to leave it whole.
    resumeFromStart();
    VerdictContext context;
    context.place = ResumePosition{kFirstPage, std::uint16_t(endAddr), 0};
    context.words = written.words();
    end(Outcome::Unconfirmed, Cause::DescriptorMisplaced, context);
    co_return false;
}

// Waits out the longest pause inside an answer, taking what arrives meanwhile as stray text.
Task<void> StorageLoadProcedure::letAnswerArrive() {
    co_await loader_.exchange.listen(loader_.state.AnswerGapMs);
}

// Whether the answer to a write at page 70, `addr`, is one that an earlier write had: a line
// count no higher than the last one taken (the count only grows, write by write), or a place
// where this write starts (no write of bytes ends there).
bool StorageLoadProcedure::earlierAnswer(const QByteArray& confirmation, int addr) const {
    const auto line = InterpreterAnswer::valueAfterKey(confirmation, "STR:");
    return (line && *line <= lastLineTaken_) || reportsPlace(confirmation, addr);
}

// Whether a write's answer names a place: "NUM:" or "ADDR:", with their numbers or not.
bool StorageLoadProcedure::saysWhere(const QByteArray& confirmation) {
    return confirmation.contains("NUM:") || confirmation.contains("ADDR:");
}

// Whether a write's answer puts the controller at page 70, `addr`.
bool StorageLoadProcedure::reportsPlace(const QByteArray& confirmation, int addr) {
    const auto page = InterpreterAnswer::valueAfterKey(confirmation, "NUM:");
    const auto at = InterpreterAnswer::valueAfterKey(confirmation, "ADDR:");
    return page == std::optional<std::uint16_t>(kFirstPage) &&
           at == std::optional<std::uint16_t>(std::uint16_t(addr));
}

Task<bool> StorageLoadProcedure::positionedInFirmwareArea(int addr) {
    const QList<QByteArray> commands{QByteArray("PAGENUM 70"),
                                     "PAGEADDR " + QByteArray::number(addr),
                                     QByteArray("PAGEHEXMODE TRUE")};
    for (const QByteArray& command : commands) {
        const SettingResult result =
            co_await askSetting(loader_.exchange, command, kDescriptorAttempts);
        if (result.confirmed) {
            continue;
        }
        const Answer& answer = result.answer;
        if (answer.refused()) {
            VerdictContext context;
            context.command = command;
            context.words = answer.words();
            end(Outcome::Refused, Cause::DescriptorRefused, context);
        } else if (!loader_.operationCanGoOn() || !endWithAnswer(command, answer)) {
            endUnanswered();
        }
        co_return false;
    }
    co_return true;
}

// The check asked for after a store: the descriptor and the text read back must be what was
// sent. A store that fails it is stored again from the start: where it went wrong is unknown.
Task<bool> StorageLoadProcedure::storedTextVerified() {
    if (!request_.store.verify || reader_ == nullptr) {
        co_return true;
    }
    loader_.showPhase({Phase::Verifying});
    const ReadBackProcedure::StoredCopy copy = co_await reader_->readStoredCopy(pageSize_);
    if (!copy.read) {
        // The store itself is whole as far as the controller confirmed it; only the check
        // could not be made.
        VerdictContext context;
        context.words =
            OutcomeText::cause(copy.failure.outcome, OutcomeText::reason(copy.failure), QString());
        end(Outcome::Unconfirmed, Cause::VerifyUnread, context);
        co_return false;
    }
    const QByteArray expected = fileText();
    const qsizetype differs =
        std::mismatch(expected.begin(), expected.end(), copy.text.begin(), copy.text.end()).first -
        expected.begin();
    if (differs == expected.size() && copy.text.size() == expected.size() &&
        copy.descriptor.length == crc_.byteCount && copy.descriptor.crc == crc_.value) {
        co_return true;
    }
    resumeFromStart();
    VerdictContext context;
    context.character = differs + 1;
    context.characters = expected.size();
    end(Outcome::Unconfirmed, Cause::VerifyDiffers, context);
    co_return false;
}

// The firmware text as it is stored: the file's lines one after another, without line ends.
QByteArray StorageLoadProcedure::fileText() const {
    QByteArray text;
    text.reserve(qsizetype(crc_.byteCount));
    for (qsizetype i = 0; i < image_.size(); ++i) {
        text += image_.line(i).toByteArray();
    }
    return text;
}

// Where the stored text cannot be trusted, a later run starts from the beginning.
void StorageLoadProcedure::resumeFromStart() {
    LoaderState& s = loader_.state;
    s.StartPage = kFirstPage;
    s.PageAddr = kFirstAddr;
    s.LastLoadedLine = 0;
}

Task<void> StorageLoadProcedure::finalise() {
    LoaderState& s = loader_.state;
    if (!request_.store.finalize) {
        if (request_.store.accompanyingInit) {
            co_await sendAccompanyingLines();
        } else {
            information_ = QStringLiteral("Прошивка загружена. Проведите финализацию обновления "
                                          "следующими командами:\r\nREPROGRAM W\r\nRESET");
            loader_.output.notify({Notice::Kind::Information, information_, QString()});
        }
        co_return;
    }
    s.AnswerTimeoutMs = loader_.timings.pageWriteMs;
    if (request_.store.accompanyingInit) {
        co_await sendAccompanyingLines();
    }
    s.AnswerTimeoutMs = loader_.timings.reprogramMs;
    // Once: the controller checks and installs the stored image when it is asked to.
    const Answer checked = co_await send("REPROGRAMM W", 1);
    if (!checked.heard() && loader_.operationCanGoOn()) {
        // Reported as the controller's silence, damaged or not.
        end(Verdict::failed(Outcome::NoAnswer));
        co_return;
    }
    if (!checked.whole() || !InterpreterAnswer::contains(checked.text, "GOOD")) {
        if (!loader_.operationCanGoOn()) {
            endUnanswered();
        } else {
            // Refused in words, or only text that never became the answer (garbled, cut).
            VerdictContext context;
            context.command = "REPROGRAMM W";
            context.words = checked.words();
            end(checked.refused() ? Outcome::Refused : Outcome::Unconfirmed,
                Cause::FinalisationUnconfirmed, context);
        }
        co_return;
    }
    co_await send("RESET", 1);
    s.AnswerTimeoutMs = loader_.timings.restartMs;
    showVersion(co_await askRepeatable(loader_.exchange, "VER", CommandTable::attempts("VER")));
}

// After its restart the controller says its version. A controller that never comes back is not
// updated; one that answers is, and its version is shown where it is a version 3 (any answer
// is kept for the report).
void StorageLoadProcedure::showVersion(const Answer& version) {
    if (!version.heard() && version.status != Answer::Status::Damaged) {
        if (loader_.operationCanGoOn()) {
            end(Outcome::NoAnswer, Cause::NoVersionAfterRestart);
        } else {
            endUnanswered();
        }
        return;
    }
    version_ = version.text;
    if (version.whole() && InterpreterAnswer::contains(version.text, "3.")) {
        information_ = QStringLiteral("Прошивка обновлена. Текущая версия:\r\n") +
                       Cp1251::decode(version.text);
        loader_.output.notify({Notice::Kind::Information, information_, QString()});
    }
}

// The accompanying-initialisation lines, each trimmed, each sent once: what a line the
// controller's language does not define does is unknown, so it is not repeated.
Task<void> StorageLoadProcedure::sendAccompanyingLines() {
    for (const QString& line : request_.store.initCommands) {
        QByteArray command = Cp1251::encode(line);
        qsizetype first = 0;
        qsizetype last = command.size();
        while (first < last && std::uint8_t(command.at(first)) <= 32) {
            ++first;
        }
        while (last > first && std::uint8_t(command.at(last - 1)) <= 32) {
            --last;
        }
        if (last > first) {
            co_await send(command.mid(first, last - first), 1);
        }
    }
}

void StorageLoadProcedure::finish() {
    release();
    loader_.showPhase(PhaseEvent::message(loader_.state.OperationFailed ? resultMessage_ : kDone));
}
