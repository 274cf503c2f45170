#pragma once

#include "cli/CliResult.h"
#include "core/Task.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

// The dispatcher's flags a subcommand heeds: no progress or messages (-q), and a result that
// goes out as JSON (then nothing else may be printed on standard output).
struct RunFlags {
    bool quiet = false;
    bool json = false;
    // Arguments whose bytes are not valid text in the system's encoding, as decoded (lossy).
    QStringList undecodable;
};

// One subcommand of velkor-cli. run() gets the arguments after the program name, the
// subcommand's name first, and returns what the run did.
struct Subcommand {
    QString name;
    QString summary;
    using Run = std::function<CliResult(const QStringList& arguments, const RunFlags& flags)>;
    using RunTask =
        std::function<Task<CliResult>(const QStringList& arguments, const RunFlags& flags)>;
    Run run;
    bool hidden = false; // a helper left out of --help (the demo's sample file)
    // The operands the arguments give, as run() reads them (raises UsageError as it would):
    // the firmware FILE, the read-back's OUT, send's commands. A fleet binds its campaign file
    // to them; none for a subcommand that runs no fleet.
    std::function<QStringList(const QStringList& arguments)> operands = nullptr;
    // The first operand is a firmware file: the campaign is bound to its contents.
    bool firmwareOperand = false;
    // The run as a task, for a subcommand that talks to a controller: a fleet runs many of
    // them on one thread. run() then runs it to its end on the thread's event loop.
    RunTask task = nullptr;

    // A subcommand whose run is the task.
    static Subcommand ofTask(QString name, QString summary, RunTask task);
};

// Every subcommand, in the order --help lists them.
const std::vector<Subcommand>& allSubcommands();
