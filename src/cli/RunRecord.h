#pragma once

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonObject>
#include <QString>

class Loader;

// What one run of velkor-cli did, gathered on the way for the result object of --json: the
// subcommand, the connection, the file, the final status text and any further fields a
// subcommand adds. The dispatcher fills in the exit code and the elapsed time at the end.
struct RunRecord {
    QString subcommand;
    bool quiet = false;
    bool json = false;
    QString status;     // the last text of the status panel
    QString connection; // the connection parameters, as the journal writes them
    QString file;
    QJsonObject extra; // further fields of the subcommand ("header", "answers", "results" ...)
    // The broker said it has no controller with the id, and no Ctrl-C came: whatever the
    // procedure made of the operation it ended (a cancel, no answer), the run exits 69.
    bool controllerMissing = false;
    QElapsedTimer clock;

    // Takes the final status, the connection and the file of a loader that ran an operation.
    void takeFrom(const Loader& loader);
    // The exit code of the run, given the subcommand's.
    int finalCode(int code) const;
    // The result object for an exit code.
    QJsonObject toJson(int exitCode) const;
};

// The record of this process's run.
RunRecord& runRecord();
