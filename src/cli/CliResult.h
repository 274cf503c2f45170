#pragma once

#include "core/OperationResult.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <optional>

class Loader;

// What one run of a subcommand did. The subcommand builds it; the dispatcher renders it once:
// its output as text on standard output, or everything as one JSON object with --json.
struct CliResult {
    int exitCode = 0;
    QString outcome; // the outcome's word; empty: named after the exit code
    QString reason;
    QString status; // the text the window's status bar would show
    QString connection;
    QString file;
    std::optional<ResumePosition> resume;
    QString journalFile;
    std::optional<bool> journalWritten; // not set: the run writes no journal entry
    QString journalError;
    QString noJournalEntry; // why a run that writes entries wrote none (stopped before asking)
    QByteArray output;      // printed on standard output by the text rendering
    QJsonObject extra;      // further fields of the subcommand ("header", "answers", "results" ...)

    static CliResult withCode(int exitCode, const QString& status = QString());
    // The result of an operation the driver ran, on the loader that ran it.
    static CliResult ofOperation(const OperationResult& operation, const Loader& loader);

    // Notes the journal entry the run wrote, or why it could not.
    void setJournal(const Loader& loader, bool written, const QString& error);
    QJsonObject toJson(const QString& subcommand, qint64 elapsedMs) const;
};
