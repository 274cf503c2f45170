#include "cli/CliResult.h"

#include "cli/ExitCodes.h"
#include "core/Loader.h"
#include "core/OutcomeText.h"

CliResult CliResult::withCode(int exitCode, const QString& status) {
    CliResult result;
    result.exitCode = exitCode;
    result.status = status;
    return result;
}

CliResult CliResult::ofOperation(const OperationResult& operation, const Loader& loader) {
    CliResult result;
    result.exitCode = exitCodeOf(operation.outcome);
    result.outcome = OutcomeText::word(operation.outcome);
    result.reason = operation.reason;
    result.status = operation.text;
    result.connection = loader.journal.connectionParams();
    result.file = operation.file.isEmpty() ? loader.state.FirmwareFilePath : operation.file;
    result.resume = operation.resume;
    if (operation.outcome != Outcome::ConnectionFailed && operation.outcome != Outcome::Error) {
        result.setJournal(loader, operation.journalWritten, operation.journalError);
    }
    return result;
}

void CliResult::setJournal(const Loader& loader, bool written, const QString& error) {
    journalFile = loader.journal.path();
    journalWritten = written;
    journalError = error;
}

QJsonObject CliResult::toJson(const QString& subcommand, qint64 elapsedMs) const {
    QJsonObject o = extra;
    o.insert(QStringLiteral("subcommand"), subcommand);
    o.insert(QStringLiteral("outcome"), outcome.isEmpty() ? exitCodeName(exitCode) : outcome);
    o.insert(QStringLiteral("exitCode"), exitCode);
    o.insert(QStringLiteral("status"), status);
    if (!reason.isEmpty()) {
        o.insert(QStringLiteral("reason"), reason);
    }
    o.insert(QStringLiteral("elapsedMs"), double(elapsedMs));
    o.insert(QStringLiteral("file"), file);
    o.insert(QStringLiteral("connection"), connection);
    if (resume) {
        o.insert(QStringLiteral("resume"), resume->text());
    }
    if (!noJournalEntry.isEmpty()) {
        o.insert(QStringLiteral("noJournalEntry"), noJournalEntry);
    }
    if (journalWritten) {
        o.insert(QStringLiteral("journal"), journalFile);
        o.insert(QStringLiteral("journalWritten"), *journalWritten);
        if (!journalError.isEmpty()) {
            o.insert(QStringLiteral("journalError"), journalError);
        }
    }
    if (!output.isEmpty()) {
        o.insert(QStringLiteral("output"), QString::fromLocal8Bit(output));
    }
    return o;
}
