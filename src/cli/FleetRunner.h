#pragma once

#include "cli/FleetDisplay.h"
#include "cli/FleetMember.h"

#include <QList>
#include <QStringList>
#include <cstdint>
#include <memory>
#include <vector>

class QProcess;

// A fleet: the same subcommand for several controllers behind the broker. Each id runs in a
// child velkor-cli of its own (its own loader, connection and journal entry), with --json and
// machine-readable progress; up to `jobs` children run at once. Several loaders cannot run at
// once in one process, since every wait loop of the core is a nested event loop on its one
// thread. A stop signal (Ctrl-C, SIGTERM, SIGHUP) is passed on to the running children, and ids
// not started yet are not started; a child whose parent dies gets SIGTERM.
class FleetRunner {
public:
    // arguments: the subcommand's name first, then its options, with "--id" and its value
    // removed; "{id}" in any of them is replaced by each id.
    FleetRunner(QStringList arguments, QList<std::uint32_t> ids, int jobs, bool quiet);
    ~FleetRunner();
    FleetRunner(const FleetRunner&) = delete;
    FleetRunner& operator=(const FleetRunner&) = delete;

    // Runs every id; returns the fleet's exit code: 0 when every id succeeded, 128 + the signal
    // when a stop signal came, else the code of the first id, in the order given, that failed.
    int run();

    const QList<FleetMember>& members() const { return members_; }
    // The output each child printed, prefixed with its id.
    QString outputs() const;

private:
    void startNext();
    void start(int index);
    void readErr(int index);
    void finished(int index, int exitCode, bool crashed);
    void poll();
    int exitCode() const;

    QStringList arguments_;
    QList<FleetMember> members_;
    int jobs_;
    FleetDisplay display_;
    std::vector<std::unique_ptr<QProcess>> processes_;
    int next_ = 0;
    int running_ = 0;
    int stopSignal_ = 0; // the stop signal that came, passed on to the running children
};
