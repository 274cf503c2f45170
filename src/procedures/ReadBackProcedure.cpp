#include "ReadBackProcedure.h"

#include "CommandTable.h"
#include "InterpreterAnswer.h"
#include "PasswordDialogue.h"
#include "SettingCommand.h"
#include "SilenceOutcome.h"
#include "core/Loader.h"
#include "core/LoaderError.h"
#include "core/Questions.h"
#include "core/SafeFile.h"
#include "core/StoreProgress.h"

#include <cctype>

namespace {

// A setting that goes unconfirmed (silent, cut, damaged, or answered late) is sent again.
constexpr int kSettingAttempts = 3;

const QString kReadError = QStringLiteral("Загрузчик:Ошибка выгрузки файла");
const QString kAccessDenied = QStringLiteral("LUMET:Отказ в доступе!");
const QString kMatched = QStringLiteral("Загрузчик:Контрольная сумма файла совпала!");
const QString kMismatch = QStringLiteral("Загрузчик:Контрольная сумма файла ошибочна!!!");

} // namespace

QString ReadBackProcedure::checksumText(std::uint16_t crc) {
    return QStringLiteral("%1").arg(crc, 4, 16, QLatin1Char('0')).toUpper();
}

QString ReadBackProcedure::partialFileName(const QString& target) {
    return target + QStringLiteral(".partial");
}

Task<Answer> ReadBackProcedure::readPage(qsizetype characters) {
    co_return co_await loader_.exchange.ask(CommandTable::pageRead(characters));
}

// Only a matched checksum with its file written counts as done for the driver and the journal.
void ReadBackProcedure::end(Verdict verdict) {
    loader_.state.OperationFailed = !verdict.succeeded();
    verdict_ = std::move(verdict);
}

void ReadBackProcedure::end(Outcome outcome, Cause cause, VerdictContext context) {
    end(Verdict::failed(outcome, cause, std::move(context)));
}

void ReadBackProcedure::endUnanswered() {
    end(Verdict::failed(outcomeOfSilence(loader_)));
}

// A command that got no usable answer: the controller's words name a refusal, a damaged frame
// names the damage, and silence is a cancel, a lost link or no answer.
void ReadBackProcedure::endWith(const Answer& answer, const QByteArray& command) {
    VerdictContext context;
    context.command = command;
    if (answer.status == Answer::Status::Damaged) {
        end(Outcome::Damaged, Cause::AnswerDamaged, context);
    } else if (answer.heard() && loader_.operationCanGoOn()) {
        context.words = answer.words();
        end(Outcome::Refused, Cause::CommandUnconfirmed, context);
    } else {
        endUnanswered();
    }
}

Verdict ReadBackProcedure::verdict() const {
    Verdict v = verdict_.value_or(Verdict::failed(Outcome::NoAnswer));
    v.file = writtenFile_;
    return v;
}

Task<ReadBackProcedure::StoredCopy> ReadBackProcedure::readStoredCopy(int pageSize) {
    startRun();
    pageSize_ = pageSize;
    StoredCopy copy;
    if ((co_await positioned()) && (co_await descriptorRead()) && (co_await prepareTextRead())) {
        co_await readText();
        copy.descriptor = descriptor_;
        copy.text = text_.text();
        copy.read = !ended() && text_.taken() == descriptor_.length;
    }
    if (!copy.read) {
        if (!ended()) {
            endUnanswered();
        }
        copy.failure = verdict();
    }
    text_.release();
    co_return copy;
}

Task<Verdict> ReadBackProcedure::storedDescriptor(const OperationRequest& /*request*/) {
    loader_.Timer3->start();
    startRun();
    if (!(co_await positioned()) || !(co_await loggedIn()) || !(co_await descriptorRead())) {
        co_return verdict();
    }
    loader_.state.OperationFailed = false;
    Verdict stored;
    stored.reason = QStringLiteral("текст %1 символов, контрольная сумма %2")
                        .arg(descriptor_.length)
                        .arg(checksumText(descriptor_.crc));
    stored.facts.insert(QStringLiteral("length"), qint64(descriptor_.length));
    stored.facts.insert(QStringLiteral("checksum"), checksumText(descriptor_.crc));
    co_return stored;
}

void ReadBackProcedure::startRun() {
    verdict_.reset();
    writtenFile_.clear();
    resultMessage_ = kReadError;
    descriptor_ = StorageDescriptor{};
    text_ = ReadBackText{};
    pageSize_ = 0;
}

Task<Verdict> ReadBackProcedure::ReadBackStorage(const OperationRequest& /*request*/) {
    loader_.Timer3->start();
    target_.clear();
    startRun();
    if ((co_await positioned()) && (co_await loggedIn()) && (co_await descriptorRead()) &&
        (co_await prepareTextRead())) {
        bool chosen = false;
        const auto target = descriptor_.length != 0 ? questions_.fileToWrite() : std::nullopt;
        if (target) {
            target_ = *target;
            chosen = true;
            co_await readText();
        }
        conclude(chosen);
    } // else the step that failed named its cause
    finish();
    co_return verdict();
}

// Sends the settings in turn; each must be answered whole with its value back. The first that
// is not ends the run with its cause.
Task<bool> ReadBackProcedure::settings(QList<QByteArray> commands) {
    for (const QByteArray& command : commands) {
        const SettingResult result =
            co_await askSetting(loader_.exchange, command, kSettingAttempts);
        if (!result.confirmed) {
            endWith(result.answer, command);
            co_return false;
        }
    }
    co_return true;
}

Task<bool> ReadBackProcedure::positioned() {
    PhaseEvent positioning{Phase::SettingStartPage};
    positioning.page = 70;
    loader_.showPhase(positioning);
    const QList<QByteArray> commands{"PAGENUM 70", "PAGEADDR 0", "PAGEHEXMODE TRUE"};
    co_return co_await settings(commands);
}

Task<bool> ReadBackProcedure::loggedIn() {
    const PasswordResult login =
        co_await PasswordDialogue(loader_.exchange, CommandTable::attempts("PASSWORD"), questions_);
    if (login.granted) {
        co_return true;
    }
    if (!login.denied) {
        endWith(login.latest, "PASSWORD");
        co_return false;
    }
    resultMessage_ = kAccessDenied;
    end(Outcome::Refused, Cause::AccessDenied);
    co_return false;
}

// The descriptor's twelve digits, read again from page 70, address 0 when the answer came lost,
// cut, damaged or garbled (the read moved the controller's position: it is positioned first).
// An answer shorter than the descriptor, or an error line, ends the read-back.
Task<bool> ReadBackProcedure::descriptorRead() {
    if (!co_await settings(QList<QByteArray>(1, "PAGECOUNT 6"))) {
        co_return false;
    }
    const QList<QByteArray> descriptorPosition{"PAGENUM 70", "PAGEADDR 0"};
    for (int attempt = 1;; ++attempt) {
        const Answer answer = co_await readPage(StorageDescriptor::kDigits);
        const bool lastTry = attempt >= kReadAttempts || !loader_.operationCanGoOn();
        if (answer.whole()) {
            const QByteArray data = answer.text.mid(answer.dataFrom);
            const qsizetype at = descriptorLine(data);
            if (at >= 0) {
                descriptor_ = StorageDescriptor::decode(QByteArrayView(data).sliced(at));
                co_return true;
            }
            if (data.trimmed().size() < StorageDescriptor::kDigits) {
                endWith(answer, "PAGEREAD");
                co_return false;
            }
            if (lastTry) {
                // Never the digits, as often as it was read: the conversion error says what
                // came instead.
                descriptor_ = StorageDescriptor::decode(data);
                co_return true;
            }
        } else if (answer.errorLine || answer.stopped() || lastTry) {
            endWith(answer, "PAGEREAD");
            co_return false;
        }
        if (!co_await settings(descriptorPosition)) {
            co_return false;
        }
    }
}

// Where the line of the descriptor's twelve hexadecimal digits starts in a read answer; -1 when
// no line starts with them.
qsizetype ReadBackProcedure::descriptorLine(const QByteArray& answer) {
    for (qsizetype start = 0; start < answer.size();) {
        qsizetype digits = 0;
        while (digits < StorageDescriptor::kDigits && start + digits < answer.size() &&
               std::isxdigit(std::uint8_t(answer.at(start + digits)))) {
            ++digits;
        }
        if (digits == StorageDescriptor::kDigits) {
            return start;
        }
        const qsizetype end = answer.indexOf('\n', start);
        if (end < 0) {
            break;
        }
        start = end + 1;
    }
    return -1;
}

Task<bool> ReadBackProcedure::prepareTextRead() {
    loader_.output.startProgressBar(int(descriptor_.length / 1000));
    loader_.showPhase({Phase::AccessGranted});
    const QList<QByteArray> commands{
        "PAGEADDR 10", "PAGECOUNT " + QByteArray::number(kTextReadCount), "PAGEHEXMODE FALSE"};
    co_return co_await settings(commands);
}

Task<void> ReadBackProcedure::readText() {
    text_ = ReadBackText(descriptor_.length);
    rereads_ = 0;
    while (!text_.complete() && loader_.operationCanGoOn()) {
        const Answer answer = co_await readPage(kTextReadCount);
        if (!loader_.operationCanGoOn()) {
            break;
        }
        const ReadBackText::Next next = text_.take(answer);
        if (next == ReadBackText::Next::ReadOn) {
            showProgress();
        } else if (next == ReadBackText::Next::ReadAgain) {
            if (!co_await repositioned()) {
                break;
            }
        } else {
            if (next == ReadBackText::Next::GiveUp) {
                endWith(answer, "PAGEREAD");
            }
            break;
        }
    }
}

// A read whose answer was lost, cut or damaged has moved the controller's read position by an
// unknown amount: it is never sent again without positioning first. With the controller's page
// size known (a store learns it from its confirmations) the position is that of the first
// character not taken yet; without it the text is read again from its start (the loader does
// no page arithmetic on a size of its own), as often as kReadAttempts.
Task<bool> ReadBackProcedure::repositioned() {
    if (pageSize_ > 0) {
        const std::int64_t at = StorageDescriptor::kTextAddress + std::int64_t(text_.taken());
        const QList<QByteArray> commands{
            "PAGENUM " + QByteArray::number(StorageDescriptor::kPage + at / pageSize_),
            "PAGEADDR " + QByteArray::number(at % pageSize_)};
        co_return co_await settings(commands);
    }
    if (++rereads_ > kReadAttempts) {
        VerdictContext context;
        context.attempts = kReadAttempts;
        end(Outcome::NoAnswer, Cause::TextReadIncomplete, context);
        co_return false;
    }
    text_.restart();
    const QList<QByteArray> commands{"PAGENUM " + QByteArray::number(StorageDescriptor::kPage),
                                     "PAGEADDR " +
                                         QByteArray::number(StorageDescriptor::kTextAddress)};
    co_return co_await settings(commands);
}

void ReadBackProcedure::showProgress() {
    const std::uint32_t taken = text_.taken();
    loader_.output.moveProgressBar(int(taken / 1000));
    loader_.showProgress(
        ProgressEvent{taken, descriptor_.length, std::int64_t(taken), std::nullopt});
    PhaseEvent reading{Phase::ReadingText};
    reading.done = taken;
    reading.total = descriptor_.length;
    loader_.showPhase(reading);
}

void ReadBackProcedure::conclude(bool fileChosen) {
    const bool stopped = !text_.complete() && !loader_.operationCanGoOn();
    text_.endLine();
    // A read that ended short of the stored length never matches, even when the checksum of
    // what it took happens to equal the stored one: an erased memory's descriptor (length
    // FFFFFFFF, checksum FFFF) would otherwise pass with nothing read.
    const TextCrc& crc = text_.crc();
    const bool matched = crc.value == descriptor_.crc && crc.byteCount == descriptor_.length;
    resultMessage_ = matched ? kMatched : kMismatch;
    if (descriptor_.length == 0) {
        end(Verdict::failed(Outcome::NothingStored));
    } else if (!fileChosen) {
        end(Outcome::Cancelled, Cause::NoFileChosen);
    } else if (stopped || ended()) {
        if (!ended()) {
            endUnanswered();
        }
    } else {
        end(matched ? Verdict{} : Verdict::failed(Outcome::ChecksumMismatch));
    }
    const QString& target = target_;
    if (verdict_->succeeded()) {
        writeLines(target);
    } else if (!text_.lines().isEmpty() && !isSpecialFile(target)) {
        // Beside a device or a pipe there is no place for the received copy.
        writeLines(partialFileName(target));
    }
}

// A file that cannot be written ends the read-back as a file error with the system's text,
// and the run is journalled like any other.
void ReadBackProcedure::writeLines(const QString& path) {
    try {
        text_.lines().save(path);
    } catch (const std::exception& e) {
        VerdictContext context;
        context.path = path;
        context.words = errorText(e);
        end(Outcome::FileError, Cause::FileUnwritable, context);
        return;
    }
    writtenFile_ = path;
}

void ReadBackProcedure::finish() {
    text_.release();
    loader_.showPhase(PhaseEvent::message(resultMessage_));
}
