#pragma once

#include "cli/CampaignStore.h"
#include "cli/CliResult.h"
#include "cli/FleetCampaign.h"
#include "cli/FleetDisplay.h"
#include "cli/FleetEvents.h"
#include "cli/FleetMember.h"
#include "cli/FleetOptions.h"
#include "cli/FleetRollout.h"
#include "cli/FleetWorkers.h"
#include "core/Task.h"

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QStringList>
#include <QTimer>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QEventLoop;

// A fleet: the same subcommand for several controllers behind the broker, all in this one
// process. Each id runs as a task of its own, where the subcommand builds its own loader and
// connection and writes its own journal entry; the tasks share one event loop per processor
// core (FleetWorkers), since their waits hold no thread. Up to `jobs` ids run at once, under the
// rollout's rules (FleetRollout), no faster than --rate, each within --deadline. What a member
// prints goes to its channel (FleetChannel), which the display reads, and each start, end and stage
// is an event (FleetEvents). The first stop signal (Ctrl-C, SIGTERM, SIGHUP) drains: no id
// starts any more and the running ones end on their own (a store at its next confirmed piece);
// a second one is passed on to every running member, which ends as it would alone (its
// operation cancelled, its journal entry written, its resume position kept). With a campaign
// file each id that ends gets its line there, and ids an earlier run finished are skipped or
// resumed.
class FleetRunner {
public:
    // The subcommand's run with the arguments, as a task on the thread that starts it.
    using Run = std::function<::Task<CliResult>(const QStringList& arguments)>;

    // arguments: the subcommand's name first, then its options, with "--id" and its value
    // removed; "{id}" in any of them is replaced by each id.
    FleetRunner(QStringList arguments, const QList<std::uint32_t>& ids, FleetOptions options,
                bool quiet, Run run);

    // What the campaign (its file or its database), when there is one, is bound to; set before
    // prepare.
    FleetCampaign::Purpose purpose;
    ~FleetRunner();
    FleetRunner(const FleetRunner&) = delete;
    FleetRunner& operator=(const FleetRunner&) = delete;

    // Reads the campaign file, when there is one, and opens the events file: false with the
    // reason when one cannot be read or written, or the campaign is another's. Its warnings
    // (torn lines) are printed on standard error.
    bool prepare(QString& error);
    // Runs every id, once prepare succeeded; returns the fleet's exit code: 0 when every id
    // succeeded, 128 + the signal when a stop signal came, kExitRolloutStopped when the rollout's
    // rules left ids not started, else the code of the first id, in the order given, that failed.
    int run();

    const QList<FleetMember>& members() const { return members_; }
    // Why ids were left not started: "wave failed", "too many failures", "stopped by signal".
    const QString& stopReason() const { return stopReason_; }
    // The member whose exit code is the fleet's, when one is (not for a stop or a rollout).
    const FleetMember* deciding() const;
    // The output each member printed, prefixed with its id.
    QString outputs() const;

private:
    struct Running;

    void startNext();
    bool rateAllowsStart();
    void start(qsizetype position);
    void memberEnded(Running& running, int index);
    void finished(int index);
    void poll();
    void takeStopSignals();
    void drain(int signal);
    void cancelRunning(int signal);
    void enforceDeadlines();
    void reportProgress(Running& running, FleetMember& m);
    void leaveNotStarted(const QString& reason, int exitCode);
    void holdStage();
    void quitWhenIdle();
    void record(const FleetMember& m);
    // A campaign shared through a database: its ids are claimed from it as jobs come free, its
    // heartbeat keeps their leases, and its drain, stop or hold reaches this worker.
    bool openStore(QString& error);
    void startClaimed();
    void campaignBeat();
    void campaignStop(const QString& control, const QString& reason);
    void loseId(std::uint32_t id);
    void settleClaims();
    void sayCampaignTrouble(const QString& trouble);
    QStringList argumentsOf(const FleetMember& m) const;
    QJsonObject plan() const;
    QJsonObject counts() const;
    int exitCode() const;

    QStringList arguments_;
    QList<FleetMember> members_;
    FleetOptions options_;
    Run run_;
    FleetDisplay display_;
    std::unique_ptr<CampaignStore> store_;
    CampaignClaims* claims_ = nullptr; // the store's, when it hands the ids out
    QTimer beater_;                    // the shared campaign's heartbeat
    int campaignStops_ = 0;            // 1 once the campaign drains this worker, 2 once it stops it
    QString troubleSaid_;
    QList<int> order_; // the members this run starts, in their order
    std::optional<FleetRollout> rollout_;
    std::vector<std::unique_ptr<Running>> tasks_; // by member; set while it runs
    std::unique_ptr<FleetWorkers> workers_;
    QObject context_; // receives the members' ends on this thread
    FleetEvents events_;
    QEventLoop* loop_ = nullptr;
    QElapsedTimer clock_;
    QTimer starter_;         // --rate: starts the next id when its time comes
    double nextStartMs_ = 0; // --rate: the earliest time of the next start
    qsizetype next_ = 0;
    int running_ = 0;
    int startedStage_ = -1; // the latest stage whose start was announced
    int stopsTaken_ = 0;    // the stop signals acted on: the first drains, the second cancels
    int stopSignal_ = 0;    // the stop signal that came
    QString stopReason_;
};
