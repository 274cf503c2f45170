#pragma once

#include "Operation.h"

#include <QByteArray>
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

// What a procedure says of its run, set explicitly by the procedure.
struct Verdict {
    Outcome outcome = Outcome::Success;
    QString reason; // the cause in the system's words, where the outcome alone does not say it
    QString file;   // a read-back: the file the received text went to
    std::optional<ResumePosition> resume; // a storage upload that did not finish
    QList<QByteArray> answers;            // a query: each answer as it came
    QByteArray output;                    // a query: what the terminal showed of the answers

    static Verdict failed(Outcome outcome, QString reason = QString()) {
        return Verdict{outcome, std::move(reason), QString(), std::nullopt, {}, {}};
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
    bool journalWritten = false;
    QString journalError; // why the journal entry could not be written

    bool succeeded() const { return outcome == Outcome::Success; }
};
