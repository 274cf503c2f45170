// A campaign shared by several velkor-cli workers through a real PostgreSQL server (started by
// scripts/postgres-start, one per test process) and the simulator's broker: a worker killed
// outright loses its ids to the others once its lease ran out, a stage at its failure limit
// holds every worker, `campaign drain` drains them all, and a campaign file taken in by
// `campaign import` is resumed by the workers. Without the server's binaries the suite fails.
#include "CliRun.h"
#include "DevsimProcess.h"
#include "cli/CampaignDatabase.h"

#include <QDateTime>
#include <QFile>
#include <QJsonArray>
#include <QProcess>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <memory>

namespace {

// How many times each controller was programmed, from the simulator's --programmed file.
QHash<int, int> programmings(const QString& path) {
    QHash<int, int> counts;
    QFile file(path);
    if (file.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : file.readAll().split('\n')) {
            if (!line.isEmpty()) {
                counts[line.toInt()] += 1;
            }
        }
    }
    return counts;
}

QString workerName(const CliRun& run) {
    return QStringLiteral("%1:%2").arg(QSysInfo::machineHostName()).arg(run.processId());
}

} // namespace

class CliCampaignTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void killedWorkersIdsGoToTheOthers();
    void stageAtItsLimitHoldsEveryWorker();
    void drainFromTheCampaignCommand();
    void importedFileIsResumed();

private:
    QString url(const QString& name) const { return url_ + QStringLiteral("?name=") + name; }
    // One number from the campaign's database, -1 when the query fails.
    qint64 number(const QString& sql, const QVariantList& values = {});
    std::unique_ptr<CliRun> worker(const QStringList& subcommand, const QString& broker,
                                   const QString& ids, const QString& campaign,
                                   const QStringList& extra);

    QTemporaryDir dir_;
    QString url_;
    std::unique_ptr<CampaignDatabase> db_;
};

void CliCampaignTest::initTestCase() {
    QVERIFY(dir_.isValid());
    QProcess start;
    start.start(QStringLiteral(VELKOR_SCRIPTS_DIR "/postgres-start"), {dir_.filePath("pg")});
    QVERIFY(start.waitForFinished(120000));
    QVERIFY2(start.exitCode() == 0, start.readAllStandardError().constData());
    url_ = QString::fromUtf8(start.readAllStandardOutput()).trimmed();
    QString error;
    db_ = std::make_unique<CampaignDatabase>(*CampaignUrl::parse(url("probe"), error));
    QVERIFY2(db_->open(error), qPrintable(error));
    CliRun sample({"sample", dir_.filePath("fw.s37"), "--records", "20", "--header",
                   "UNIT:LUMET52 demo 2.1"});
    QCOMPARE(sample.run().exitCode, 0);
}

void CliCampaignTest::cleanupTestCase() {
    db_.reset();
    QProcess::execute(QStringLiteral(VELKOR_SCRIPTS_DIR "/postgres-stop"), {dir_.filePath("pg")});
}

qint64 CliCampaignTest::number(const QString& sql, const QVariantList& values) {
    QString error;
    QSqlQuery& query = db_->run(sql, values, error);
    return query.next() ? query.value(0).toLongLong() : -1;
}

std::unique_ptr<CliRun> CliCampaignTest::worker(const QStringList& subcommand,
                                                const QString& broker, const QString& ids,
                                                const QString& campaign, const QStringList& extra) {
    auto run = std::make_unique<CliRun>(subcommand +
                                        QStringList{"--broker", broker, "--id", ids, "--campaign",
                                                    url(campaign), "--data-dir", dir_.path(),
                                                    "--timeout", "1500", "--json"} +
                                        extra);
    run->limitMs = 90000;
    return run;
}

// 300 ids, three workers of 20 jobs; one is killed outright mid-run. The ids it held (running,
// or claimed and not started yet) are claimed by the others once its 2 s lease ran out; every
// id ends programmed, and only those the killed worker had running may have been programmed
// twice (its flash could have ended the moment it died, before it could say so).
void CliCampaignTest::killedWorkersIdsGoToTheOthers() {
    const QString programmed = dir_.filePath("programmed-kill");
    DevsimProcess sim(
        {"--broker", "0", "--ids", "1-300", "--programmed", programmed, "--delay", "5"});
    const QStringList flash{"flash",   dir_.filePath("fw.s37"), "--restart",
                            "command", "--reset-wait",          "5"};
    std::vector<std::unique_ptr<CliRun>> workers;
    for (int i = 0; i < 3; ++i) {
        workers.push_back(
            worker(flash, sim.brokerAddress(), "1-300", "kill", {"--jobs", "20", "--lease", "2s"}));
        QVERIFY(workers.back()->start());
    }
    const QString victim = workerName(*workers.front());
    const QString running =
        QStringLiteral("SELECT count(*) FROM velkor_campaign_id WHERE "
                       "campaign = 'kill' AND worker = ? AND state = 'running'");
    QTRY_VERIFY_WITH_TIMEOUT(
        number(running, {victim}) >= 10 && programmings(programmed).size() >= 30, 30000);
    workers.front()->signal(SIGKILL);
    QCOMPARE(workers.front()->finish().exitCode, -2);
    // A statement it sent before it died is still done by the server; its lease outlasts this.
    QTest::qWait(200);
    QHash<qint64, qint64> orphans; // the ids it held, with their attempts then
    QString error;
    QSqlQuery& held = db_->run(QStringLiteral("SELECT id, attempts FROM velkor_campaign_id WHERE "
                                              "campaign = 'kill' AND worker = ? AND state IN "
                                              "('claimed', 'running')"),
                               {victim}, error);
    while (held.next()) {
        orphans.insert(held.value(0).toLongLong(), held.value(1).toLongLong());
    }
    QVERIFY(!orphans.isEmpty());
    for (int i = 1; i < 3; ++i) {
        const RunResult ran = workers.at(i)->finish();
        QVERIFY2(ran.exitCode == 0, qPrintable(ran.err));
        QCOMPARE(ran.json().value("status").toString(), QStringLiteral("300 of 300 succeeded"));
    }
    QCOMPARE(number("SELECT count(*) FROM velkor_campaign_id WHERE campaign = 'kill' AND "
                    "state = 'succeeded'"),
             300);
    QCOMPARE(number("SELECT count(*) FROM velkor_campaign_id WHERE campaign = 'kill' AND "
                    "worker = ?",
                    {victim}),
             number("SELECT count(*) FROM velkor_campaign_id WHERE campaign = 'kill' AND "
                    "worker = ? AND attempts = 1",
                    {victim}));
    const QHash<int, int> counts = programmings(programmed);
    for (int id = 1; id <= 300; ++id) {
        const int wanted = orphans.value(id) > 0 ? qMax(1, counts.value(id)) : 1;
        QVERIFY2(
            counts.value(id) == wanted && wanted <= 2,
            qPrintable(QStringLiteral("id %1 programmed %2 times").arg(id).arg(counts.value(id))));
    }
    // Each was run once more, by another worker.
    for (auto it = orphans.cbegin(); it != orphans.cend(); ++it) {
        QCOMPARE(number("SELECT count(*) FROM velkor_campaign_id WHERE campaign = 'kill' AND "
                        "id = ? AND worker <> ? AND attempts = ?",
                        {it.key(), victim, it.value() + 1}),
                 1);
    }
    // The events of every worker are in one place, in order: the successful end of each id the
    // living workers ran (the killed one's last second of events died with it).
    CliRun events({"campaign", "events", "--campaign", url("kill"), "--json"});
    const RunResult listed = events.run();
    QCOMPARE(listed.exitCode, 0);
    QSet<qint64> ended;
    QSet<QString> by;
    qint64 seq = 0;
    for (const QJsonValue& e : listed.json().value("events").toArray()) {
        const QJsonObject event = e.toObject();
        QVERIFY(event.value("seq").toInteger() > seq);
        seq = event.value("seq").toInteger();
        if (event.value("event") == "id-ended" && event.value("outcome") == "success") {
            ended.insert(event.value("id").toInteger());
            by.insert(event.value("worker").toString());
        }
    }
    QCOMPARE(ended.size(), number("SELECT count(*) FROM velkor_campaign_id WHERE campaign = "
                                  "'kill' AND worker <> ?",
                                  {victim}) +
                               number("SELECT count(*) FROM velkor_campaign_id WHERE campaign = "
                                      "'kill' AND worker = ? AND id IN (SELECT (line->>'id')::"
                                      "bigint FROM velkor_campaign_event WHERE campaign = 'kill' "
                                      "AND worker = ? AND line->>'event' = 'id-ended')",
                                      {victim, victim}));
    QVERIFY(by.size() >= 2);
}

// Ids 5 and 6 are unknown to the broker and fail at once: two failures of the first stage
// (ids 1-30) wherever they ran hold the campaign, and no worker starts an id of the second.
void CliCampaignTest::stageAtItsLimitHoldsEveryWorker() {
    DevsimProcess sim({"--broker", "0", "--ids", "1-4,7-60"});
    std::vector<std::unique_ptr<CliRun>> workers;
    for (int i = 0; i < 3; ++i) {
        workers.push_back(worker({"send", "VER"}, sim.brokerAddress(), "1-60", "held",
                                 {"--jobs", "4", "--wave", "30", "--max-failures", "2"}));
        QVERIFY(workers.back()->start());
    }
    for (const auto& w : workers) {
        const RunResult ran = w->finish();
        QVERIFY2(ran.exitCode == 79, qPrintable(ran.err));
        QCOMPARE(ran.json().value("stopReason").toString(), QStringLiteral("too many failures"));
    }
    QCOMPARE(number("SELECT count(*) FROM velkor_campaign_id WHERE campaign = 'held' AND "
                    "id > 30 AND (state <> 'pending' OR attempts > 0)"),
             0);
    QCOMPARE(number("SELECT count(*) FROM velkor_campaign WHERE name = 'held' AND held LIKE "
                    "'too many failures: 2 of the 30 ids of stage 1 failed'"),
             1);
}

// `campaign drain` while three workers flash: each lets its running flashes finish and starts
// none after it; a worker started later runs the rest, each id programmed once in all.
void CliCampaignTest::drainFromTheCampaignCommand() {
    const QString programmed = dir_.filePath("programmed-drain");
    DevsimProcess sim(
        {"--broker", "0", "--ids", "1-60", "--programmed", programmed, "--delay", "20"});
    const QStringList flash{"flash",   dir_.filePath("fw.s37"), "--restart",
                            "command", "--reset-wait",          "5"};
    std::vector<std::unique_ptr<CliRun>> workers;
    for (int i = 0; i < 3; ++i) {
        workers.push_back(worker(flash, sim.brokerAddress(), "1-60", "drain", {"--jobs", "3"}));
        QVERIFY(workers.back()->start());
    }
    QTRY_VERIFY_WITH_TIMEOUT(programmings(programmed).size() >= 6, 30000);
    CliRun drain({"campaign", "drain", "--campaign", url("drain")});
    QCOMPARE(drain.run().exitCode, 0);
    const qint64 drainedAt = QDateTime::currentMSecsSinceEpoch();
    for (const auto& w : workers) {
        const RunResult ran = w->finish();
        QVERIFY2(ran.exitCode == 79, qPrintable(ran.err));
        QCOMPARE(ran.json().value("stopReason").toString(),
                 QStringLiteral("drained by the campaign"));
    }
    // A start that read the campaign the moment before the drain was written may follow it.
    QCOMPARE(
        number("SELECT count(*) FROM velkor_campaign_id WHERE campaign = 'drain' AND "
               "started_at > to_timestamp(CAST(? AS double precision) / 1000) + interval '300 ms'",
               {drainedAt}),
        0);
    QCOMPARE(number("SELECT count(*) FROM velkor_campaign_id WHERE campaign = 'drain' AND "
                    "state NOT IN ('succeeded', 'pending')"),
             0);
    const qint64 left = number("SELECT count(*) FROM velkor_campaign_id WHERE campaign = 'drain' "
                               "AND state = 'pending'");
    QVERIFY(left > 0);
    const RunResult rest =
        worker(flash, sim.brokerAddress(), "1-60", "drain", {"--jobs", "20"})->run();
    QVERIFY2(rest.exitCode == 0, qPrintable(rest.err));
    QCOMPARE(rest.json().value("status").toString(), QStringLiteral("60 of 60 succeeded"));
    const QHash<int, int> counts = programmings(programmed);
    QCOMPARE(counts.size(), 60);
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
        QVERIFY2(
            it.value() == 1,
            qPrintable(QStringLiteral("id %1 programmed %2 times").arg(it.key()).arg(it.value())));
    }
}

// A campaign file where id 3 failed, taken into the database: a worker of the campaign skips
// ids 1 and 2 and runs only id 3 (a campaign that ended with failures runs them again).
void CliCampaignTest::importedFileIsResumed() {
    DevsimProcess before({"--broker", "0", "--ids", "1,2"});
    const QString file = dir_.filePath("import.jsonl");
    const RunResult first =
        CliRun({"send", "VER", "--broker", before.brokerAddress(), "--id", "1-3", "--state", file,
                "--data-dir", dir_.path(), "--timeout", "1500", "--json"})
            .run();
    QCOMPARE(first.exitCode, 69);
    CliRun imported({"campaign", "import", file, "--campaign", url("import"), "--json"});
    const RunResult took = imported.run();
    QVERIFY2(took.exitCode == 0, qPrintable(took.err));
    QCOMPARE(took.json().value("imported").toInt(), 3);
    // The same broker (its port), now with every controller.
    before.stop();
    DevsimProcess same({"--broker", QString::number(before.brokerPort()), "--ids", "1-3"});
    const RunResult again =
        worker({"send", "VER"}, same.brokerAddress(), "1-3", "import", {"--jobs", "3"})->run();
    QVERIFY2(again.exitCode == 0, qPrintable(again.err));
    QStringList outcomes;
    for (const QJsonValue& v : again.json().value("results").toArray()) {
        outcomes << v.toObject().value("outcome").toString();
    }
    QCOMPARE(outcomes.join(' '), QStringLiteral("skipped skipped success"));
}

QTEST_GUILESS_MAIN(CliCampaignTest)
#include "tst_cli_campaign.moc"
