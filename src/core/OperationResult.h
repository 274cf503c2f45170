#pragma once

#include "Operation.h"

#include <QByteArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <cstdint>
#include <optional>

// How an operation ended. Every front end (the status bar, the journal, the shell's text and
// its JSON) learns the outcome from this value, never from a status text.
enum class Outcome {
    Success,
    Cancelled,        // the user cancelled (button, Ctrl-C, a terminating signal)
    LinkLost,         // the connection closed under the operation, or the program is closing
    NoAnswer,         // the controller stopped answering
    Refused,          // the controller answered, but refused (the reason says what)
    Damaged,          // the answer came damaged (a broker frame failed its CRC check)
    Flooded,          // the controller sent without pause, and the exchange was cut off
    Unconfirmed,      // the controller's confirmation does not match what was sent
    FileRefused,      // the firmware file failed its check; nothing was sent
    ChecksumMismatch, // the text read back does not match the stored checksum
    NothingStored,    // the storage memory holds no firmware to read back
    NotFound,         // the broker has no controller with the hardware id
    FileError,        // a local file could not be read or written
    ConnectionFailed, // the connection could not be opened
    Error,            // an error the procedure raised (the reason is its message)
};

// The last confirmed position of a storage upload: a later run resumes from it.
struct ResumePosition {
    std::uint16_t page = 0;
    std::uint16_t addr = 0;
    std::uint16_t line = 0;

    bool operator==(const ResumePosition&) const = default;
    // "PAGE:ADDR:LINE", as the shell's --resume takes it.
    QString text() const { return QStringLiteral("%1:%2:%3").arg(page).arg(addr).arg(line); }
};

// What exactly ended a run, where the outcome alone does not say it. The reason's words are
// rendered from it and the verdict's context (OutcomeText::reason), never stored as text.
enum class Cause {
    None,                    // the outcome says it, or the reason holds words of their own
    NoFile,                  // no firmware file was named
    FileInvalid,             // the file failed its check when programming was to begin
    FileDamaged,             // the file failed its check before a store
    NoUpdateSignature,       // the file's header has no remote-update signature
    DeviceMismatch,          // the banner's device type does not fit the file's signature
    NoRestart,               // no restart banner came within the wait
    NoBootloader,            // the banner came, but the bootloader did not answer "i"
    StartRefused,            // the bootloader refused the start of programming
    StartDamaged,            // the answer to the start of programming came damaged
    RecordRefused,           // the bootloader refused a record
    RecordDamaged,           // a record's answer came damaged
    EndedEarly,              // programming ended before the file's last data record
    NoEndConfirmation,       // every record was taken, the end was never confirmed
    AccessDenied,            // the password was refused
    NoFileChosen,            // no file was chosen to write the read-back to
    LoginRefused,            // the controller refused a command of the store's login
    CommandUnconfirmed,      // the controller did not confirm a command of the read-back
    AnswerDamaged,           // the answer to the command came damaged
    TextReadIncomplete,      // the text was read again as often as allowed, never whole
    FileUnwritable,          // the file could not be written (the words are the system's)
    PieceUnconfirmed,        // a piece of the text was not confirmed, however often written
    DescriptorRefused,       // the descriptor's write (or its positioning) was not confirmed
    DescriptorMisplaced,     // the descriptor's confirmation names another place
    VerifyUnread,            // what was stored could not be read back for the check
    VerifyDiffers,           // what was read back differs from the file
    FinalisationUnconfirmed, // "REPROGRAMM W" was not answered with "GOOD"
    NoVersionAfterRestart,   // "VER" went unanswered after the controller's restart
};

// What the procedure knew where the run ended; each cause reads the fields it names.
struct VerdictContext {
    QByteArray command;    // the command whose answer ended the run
    QString words;         // the controller's words (or the system's, for a file)
    int record = 0;        // the record (or the text's line) in flight, from 1
    int records = 0;       // the records of the file
    int attempts = 0;      // how often it was tried
    ResumePosition place;  // a place in the storage memory: page, address, line
    QString device;        // the device type the restart banner named
    QString signature;     // the firmware file's signature
    int seconds = 0;       // how long it was waited for
    qint64 character = 0;  // a character of the stored text, from 1
    qint64 characters = 0; // the characters of the text
    QString path;          // the file concerned
};

// What a procedure says of its run, set explicitly by the procedure.
struct Verdict {
    Outcome outcome = Outcome::Success;
    Cause cause = Cause::None;
    VerdictContext context;
    // Words of their own where no cause renders them: a system message, or a query's answer.
    QString reason;
    QString file;                         // a read-back: the file the received text went to
    std::optional<ResumePosition> resume; // a storage upload that did not finish
    QList<QByteArray> answers;            // a query: each answer as it came
    QByteArray output;                    // a query: what the terminal showed of the answers
    QJsonObject facts; // a query: what its answer says, by name ("version", "length" ...)

    static Verdict failed(Outcome outcome, QString reason = QString()) {
        Verdict verdict;
        verdict.outcome = outcome;
        verdict.reason = std::move(reason);
        return verdict;
    }
    static Verdict failed(Outcome outcome, Cause cause, VerdictContext context = {}) {
        Verdict verdict;
        verdict.outcome = outcome;
        verdict.cause = cause;
        verdict.context = std::move(context);
        return verdict;
    }
    bool succeeded() const { return outcome == Outcome::Success; }
};

// The one result of an operation run by the driver.
struct OperationResult {
    Operation operation = Operation::Flash;
    Outcome outcome = Outcome::Success;
    QString reason;
    QString text; // what the status bar, the journal and the shell show
    std::int64_t elapsedMs = 0;
    std::optional<ResumePosition> resume;
    QString file;
    QList<QByteArray> answers;
    QByteArray output;
    QJsonObject facts;
    bool journalWritten = false;
    QString journalError; // why the journal entry could not be written

    bool succeeded() const { return outcome == Outcome::Success; }
};
