// Fleets of velkor-cli against the simulator's broker: rollouts in stages, the failure limit,
// the start rate and the deadline, the campaign file that a second run picks up, a stop signal
// that drains the fleet (and a second that cancels), and the events of every run.
// Ids the broker does not know fail at once (69): they are the failing controllers here.
#include "CliRun.h"
#include "DevsimProcess.h"

#include <QDateTime>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>

namespace {

// Runs a fleet; with a signal, sends it once every controller of `storing` has data stored.
RunResult runFleet(const QStringList& arguments, int signal, const QString& storage,
                   const QStringList& storing) {
    CliRun cli(arguments);
    if (signal != 0) {
        cli.when([&] { return storesData(storage, storing) || cli.elapsedMs() >= 10000; },
                 [&] { cli.signal(signal); });
    }
    return cli.run();
}

// "1:0 2:69 3:79 4:s": each id's exit code in the result object, s for skipped.
QString codesOf(const QJsonObject& json) {
    QStringList codes;
    for (const QJsonValue& v : json.value("results").toArray()) {
        const QJsonObject r = v.toObject();
        codes << QStringLiteral("%1:%2")
                     .arg(r.value("id").toInt())
                     .arg(r.value("outcome").toString() == "skipped"
                              ? QStringLiteral("s")
                              : QString::number(r.value("exitCode").toInt()));
    }
    return codes.join(' ');
}

QList<QJsonObject> eventsIn(const QString& path) {
    QList<QJsonObject> events;
    QFile file(path);
    if (file.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : file.readAll().split('\n')) {
            if (!line.isEmpty()) {
                events.append(QJsonDocument::fromJson(line).object());
            }
        }
    }
    return events;
}

int countOf(const QList<QJsonObject>& events, const QString& name) {
    return int(std::count_if(events.begin(), events.end(), [&](const QJsonObject& e) {
        return e.value("event").toString() == name;
    }));
}

// What is wrong with the events of a run that exited with exitCode, "" when nothing is: every
// line a JSON object with its event and time, from fleet-started to fleet-ended with the exit
// code, each id ended once after it started, none started once the fleet was stopping, and
// the starts of --rate N/min no closer than 60/N s.
QString eventsProblem(const QList<QJsonObject>& events, int exitCode, int ratePerMinute) {
    if (events.isEmpty() || events.first().value("event") != "fleet-started" ||
        events.last().value("event") != "fleet-ended" ||
        events.last().value("exitCode").toInt() != exitCode) {
        return QStringLiteral("not from fleet-started to fleet-ended with the exit code");
    }
    QSet<int> started;
    QSet<int> ended;
    bool stopping = false;
    QDateTime lastStart;
    for (const QJsonObject& e : events) {
        const QString name = e.value("event").toString();
        const int id = e.value("id").toInt();
        const QDateTime time = QDateTime::fromString(e.value("time").toString(), Qt::ISODateWithMs);
        if (name.isEmpty() || !time.isValid()) {
            return QStringLiteral("a line without its event or time");
        }
        stopping = stopping || name == "stopping";
        if (name == "id-started") {
            if (stopping || started.contains(id)) {
                return QStringLiteral("id %1 started twice or after the stop").arg(id);
            }
            if (ratePerMinute > 0 && lastStart.isValid() &&
                lastStart.msecsTo(time) < 60000 / ratePerMinute - 5) {
                return QStringLiteral("id %1 started %2 ms after the one before")
                    .arg(id)
                    .arg(lastStart.msecsTo(time));
            }
            started.insert(id);
            lastStart = time;
        } else if (name == "id-ended" && (!started.contains(id) || ended.contains(id))) {
            return QStringLiteral("id %1 ended without its start, or twice").arg(id);
        } else if (name == "id-ended") {
            ended.insert(id);
        }
    }
    return started == ended ? QString() : QStringLiteral("ids started and never ended");
}

} // namespace

class CliFleetTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void rollouts_data();
    void rollouts();
    void families_data();
    void families();
    void drain_data();
    void drain();

private:
    QTemporaryDir dir_;
};

void CliFleetTest::initTestCase() {
    QVERIFY(dir_.isValid());
    // good.s37 for every id; fw-1.s37 to fw-3.s37 differ, so that each id holds its own.
    for (const QString name : {"good", "other", "fw-1", "fw-2", "fw-3"}) {
        CliRun sample({"sample", dir_.filePath(name + ".s37"), "--records",
                       QString::number(20 + name.back().digitValue() + 3 * (name == "other")),
                       "--header", "UNIT:LUMET52 demo 2.1"});
        sample.limitMs = 10000;
        QCOMPARE(sample.run().exitCode, 0);
    }
}

void CliFleetTest::rollouts_data() {
    QTest::addColumn<QString>("simIds"); // the broker's controllers in the first run, its options
    QTest::addColumn<QStringList>("options"); // the fleet's; STATE stands for the campaign file
    QTest::addColumn<QByteArray>("before");   // the campaign file's text before the first run
    QTest::addColumn<int>("signal");          // sent once ids 1 to 3 are storing
    QTest::addColumn<QString>("codes");       // each id's exit code in the first run
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("again"); // a second run with every id known ("": none)
    const QStringList send{"send", "--id", "1-4", "--jobs", "4"};
    QTest::newRow("a wave that succeeds, then the rest")
        << "1,2,3,4" << send + QStringList{"--wave", "2"} << QByteArray() << 0 << "1:0 2:0 3:0 4:0"
        << 0 << "";
    QTest::newRow("a failed wave leaves the rest not started")
        << "1,3,4" << send + QStringList{"--wave", "2"} << QByteArray() << 0 << "1:0 2:69 3:79 4:79"
        << 79 << "";
    QTest::newRow("two failures stop the fleet")
        << "1,2" << QStringList{"send", "--id", "1-6", "--max-failures", "2"} << QByteArray() << 0
        << "1:0 2:0 3:69 4:69 5:79 6:79" << 79 << "";
    QTest::newRow("25% of 8 ids is 2")
        << "1,2" << QStringList{"send", "--id", "1-8", "--max-failures", "25%"} << QByteArray() << 0
        << "1:0 2:0 3:69 4:69 5:79 6:79 7:79 8:79" << 79 << "";
    QTest::newRow("the campaign file: a second run does only what failed")
        << "1,2" << QStringList{"send", "--id", "1-3", "--jobs", "3", "--state", "STATE"}
        << QByteArray() << 0 << "1:0 2:0 3:69" << 69 << "1:s 2:s 3:0";
    QTest::newRow("a torn last line is ignored")
        << "1,2" << QStringList{"send", "--id", "1-2", "--state", "STATE"}
        << QByteArray("{\"id\":1,\"subcommand\":\"send\",\"broker\":\"BROKER\",\"operands\":"
                      "[\"VER\"],\"exitCode\":0}\n{\"id\":2,\"exitC")
        << 0 << "1:s 2:0" << 0 << "";
    const QStringList ten{"send", "--id", "1-10", "--jobs", "10", "--wave", "2,5,80%"};
    QTest::newRow("stages: a failure in each stays under the limit")
        << "1,3,5,6,8,10" << ten + QStringList{"--max-failures", "2"} << QByteArray() << 0
        << "1:0 2:69 3:0 4:69 5:0 6:0 7:69 8:0 9:69 10:0" << 69 << "";
    QTest::newRow("stages: two failures in the second hold the rest")
        << "1,2,5" << ten + QStringList{"--max-failures", "2"} << QByteArray() << 0
        << "1:0 2:0 3:69 4:69 5:0 6:79 7:79 8:79 9:79 10:79" << 79 << "";
    QTest::newRow("--rate 240/min: a start every 250 ms")
        << "1,2,3" << QStringList{"send", "--id", "1-3", "--jobs", "3", "--rate", "240/min"}
        << QByteArray() << 0 << "1:0 2:0 3:0" << 0 << "";
    QTest::newRow("--deadline: ids still waiting for their answer are cancelled")
        << "1,2 --delay 1400"
        << QStringList{"send", "--id", "1-2", "--jobs", "2", "--deadline", "1s"} << QByteArray()
        << 0 << "1:75 2:75" << 75 << "";
    QTest::newRow("SIGTERM: stores resume from the campaign file")
        << "1,2,3,4" << QStringList{"store",  "good.s37", "--from-start", "--id", "1-4",
                                    "--jobs", "3",        "--state",      "STATE"}
        << QByteArray() << int(SIGTERM) << "1:143 2:143 3:143 4:143" << 143 << "1:0 2:0 3:0 4:0";
}

void CliFleetTest::rollouts() {
    QFETCH(QString, simIds);
    QFETCH(QStringList, options);
    QFETCH(QByteArray, before);
    QFETCH(int, signal);
    QFETCH(QString, codes);
    QFETCH(int, exitCode);
    QFETCH(QString, again);
    QTemporaryDir data;
    const QString state = data.filePath("campaign.jsonl");
    const QString storage = data.filePath("storage");
    const bool written = !before.isEmpty();
    // The second run reaches the same broker, as a campaign must: on the first one's port.
    QString port = QStringLiteral("0");
    const QString events = data.filePath("events.jsonl");
    const auto run = [&](const QString& ids, const QStringList& slow) {
        QFile::remove(events);
        DevsimProcess sim(QStringList{"--broker", port, "--storage", storage, "--ids"} +
                          ids.split(' ') + slow);
        port = QString::number(sim.brokerPort());
        if (!before.isEmpty()) {
            QFile file(state);
            before.replace("BROKER", sim.brokerAddress().toLatin1());
            file.open(QIODevice::WriteOnly);
            file.write(before);
            before.clear();
        }
        QStringList args;
        for (const QString& o : options) {
            args << (o == "STATE" ? state : o.endsWith(".s37") ? dir_.filePath(o) : o);
        }
        args << "--broker" << sim.brokerAddress() << "--data-dir" << data.path() << "--timeout"
             << "1500"
             << "--events" << events << "--json";
        if (options.first() == "send") {
            args << "VER";
        }
        return runFleet(args, signal, storage, {"1", "2", "3"});
    };
    const RunResult first = run(simIds, signal != 0 ? QStringList{"--delay", "60"} : QStringList{});
    QCOMPARE(codesOf(first.json()), codes);
    QCOMPARE(first.exitCode, exitCode);
    const qsizetype rate = options.indexOf("--rate");
    const QString problem = eventsProblem(
        eventsIn(events), exitCode, rate < 0 ? 0 : options.at(rate + 1).section('/', 0, 0).toInt());
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    if (exitCode == 79) {
        QVERIFY2(first.json().value("notStarted").toArray().size() > 0, qPrintable(first.err));
        QVERIFY(!first.json().value("stopReason").toString().isEmpty());
    }
    if (written) {
        QVERIFY2(first.err.contains("line 2 is not a whole record"), qPrintable(first.err));
    }
    if (again.isEmpty()) {
        return;
    }
    const int stopped = signal;
    signal = 0;
    const RunResult second = run(QStringLiteral("1,2,3,4"), {});
    QCOMPARE(codesOf(second.json()), again);
    QCOMPARE(second.exitCode, 0);
    for (const QJsonValue& v : second.json().value("results").toArray()) {
        // The ids that were storing went on from where they stopped, not from the start.
        const QJsonObject r = v.toObject();
        QCOMPARE(r.contains("resumedFrom"), stopped != 0 && r.value("id").toInt() <= 3);
    }
}

void CliFleetTest::families_data() {
    QTest::addColumn<QStringList>("first"); // a fleet run before (none when empty)
    QTest::addColumn<QStringList>("fleet"); // STATE: the campaign file; OTHER: another broker
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("outcome"); // the result object's, at the top
    QTest::addColumn<QString>("said");    // on standard error
    QTest::addColumn<QString>("codes");   // each id's, when it matters
    const QStringList ids{"--id", "1-3", "--jobs", "3"};
    const QStringList state{"--state", "STATE"};
    const QStringList storeGood = QStringList{"store", "good.s37", "--from-start"} + ids + state;
    QTest::newRow("store") << QStringList()
                           << QStringList{"store", "good.s37", "--from-start"} + ids << 0
                           << "success"
                           << ""
                           << "";
    const QStringList flash{"flash", "good.s37", "--restart", "command", "--reset-wait", "5"};
    QTest::newRow("flash") << QStringList() << flash + ids << 0 << "success"
                           << ""
                           << "1:0 2:0 3:0";
    QTest::newRow("flash --skip-version: every id already runs it")
        << QStringList() << flash + ids + QStringList{"--skip-version", "3.14"} << 0 << "success"
        << ""
        << "1:s 2:s 3:s";
    QTest::newRow("flash --skip-version: none runs it yet")
        << QStringList() << flash + ids + QStringList{"--skip-version", "3.15"} << 0 << "success"
        << ""
        << "1:0 2:0 3:0";
    QTest::newRow("version") << QStringList() << QStringList{"version"} + ids << 0 << "success"
                             << ""
                             << "";
    QTest::newRow("send") << QStringList() << QStringList{"send", "VER"} + ids << 0 << "success"
                          << ""
                          << "";
    QTest::newRow("read-back: each id's copy is what it holds")
        << QStringList{"store", "fw-{id}.s37", "--from-start"} + ids
        << QStringList{"readback", "copy-{id}.s37"} + ids << 0 << "success"
        << ""
        << "";
    QTest::newRow("an id the broker lacks: the outcome is the id's")
        << QStringList() << QStringList{"send", "VER", "--id", "1,9"} << 69 << "not-found"
        << ""
        << "";
    QTest::newRow("events into a folder")
        << QStringList() << QStringList{"send", "VER", "--events", "DIR"} + ids << 74
        << "file-error"
        << "not a plain file"
        << "";
    QTest::newRow("a campaign of another file")
        << storeGood << QStringList{"store", "other.s37", "--from-start"} + ids + state << 74
        << "file-error"
        << "is the campaign of store of the file with SHA-256"
        << "";
    QTest::newRow("a campaign of another subcommand")
        << storeGood << QStringList{"flash", "good.s37"} + ids + state << 74 << "file-error"
        << "is the campaign of store"
        << "";
    QTest::newRow("a campaign through another broker")
        << storeGood << QStringList{"store", "good.s37", "--from-start", "OTHER"} + ids + state
        << 74 << "file-error"
        << "broker 127.0.0.1:"
        << "";
    QTest::newRow("the same campaign again: every id skipped")
        << storeGood << storeGood << 0 << "success"
        << ""
        << "1:s 2:s 3:s";
}

// Every subcommand that takes --id runs over a fleet; a campaign file serves only the campaign
// it was written for.
void CliFleetTest::families() {
    QFETCH(QStringList, first);
    QFETCH(QStringList, fleet);
    QFETCH(int, exitCode);
    QFETCH(QString, outcome);
    QFETCH(QString, said);
    QFETCH(QString, codes);
    QTemporaryDir data;
    DevsimProcess sim({"--broker", "0", "--ids", "1-3"});
    DevsimProcess other({"--broker", "0", "--ids", "1-3"});
    const auto run = [&](const QStringList& options) {
        QStringList args;
        for (const QString& o : options) {
            if (o == "STATE") {
                args << data.filePath("campaign.jsonl");
            } else if (o == "DIR") {
                args << data.path();
            } else if (o.endsWith(".s37")) {
                args << (o.startsWith("copy") ? data.filePath(o) : dir_.filePath(o));
            } else if (o != "OTHER") {
                args << o;
            }
        }
        const QString broker =
            options.contains("OTHER") ? other.brokerAddress() : sim.brokerAddress();
        args << "--broker" << broker << "--data-dir" << data.path() << "--timeout"
             << "1500"
             << "--fast"
             << "--json";
        return CliRun(args).run();
    };
    if (!first.isEmpty()) {
        QCOMPARE(run(first).exitCode, 0);
    }
    const RunResult ran = run(fleet);
    QVERIFY2(ran.exitCode == exitCode, qPrintable(ran.err));
    QCOMPARE(ran.json().value("outcome").toString(), outcome);
    QVERIFY2(ran.err.contains(said), qPrintable(ran.err));
    if (!codes.isEmpty()) {
        QCOMPARE(codesOf(ran.json()), codes);
    }
    if (fleet.first() != "readback") {
        return;
    }
    for (const QString id : {"1", "2", "3"}) {
        QFile stored(dir_.filePath("fw-" + id + ".s37"));
        QFile copy(data.filePath("copy-" + id + ".s37"));
        QVERIFY(stored.open(QIODevice::ReadOnly) && copy.open(QIODevice::ReadOnly));
        QCOMPARE(copy.readAll(), stored.readAll());
    }
}

void CliFleetTest::drain_data() {
    QTest::addColumn<bool>("cancel"); // a second signal follows once the fleet drains
    QTest::newRow("one signal: the running flashes finish, no id starts after it") << false;
    QTest::newRow("a second signal cancels them") << true;
}

// A flash of 20 ids, 5 at a time, stopped by SIGTERM once five have started. Each record's
// answer comes 20 ms late, so the flashes are still running when the signal comes.
void CliFleetTest::drain() {
    QFETCH(bool, cancel);
    QTemporaryDir data;
    DevsimProcess sim({"--broker", "0", "--ids", "1-20", "--delay", "20"});
    const QString events = data.filePath("events.jsonl");
    CliRun cli({"flash", dir_.filePath("good.s37"), "--restart", "command", "--reset-wait", "5",
                "--broker", sim.brokerAddress(), "--id", "1-20", "--jobs", "5", "--events", events,
                "--data-dir", data.path(), "--timeout", "1500", "--json"});
    const auto has = [&events](int count, const QString& name) {
        return [=] { return countOf(eventsIn(events), name) >= count; };
    };
    cli.when(has(5, "id-started"), [&] { cli.signal(SIGTERM); });
    if (cancel) {
        cli.when(has(1, "stopping"), [&] { cli.signal(SIGINT); });
    }
    const RunResult ran = cli.run();
    QCOMPARE(ran.exitCode, 143);
    const QList<QJsonObject> all = eventsIn(events);
    const QString problem = eventsProblem(all, 143, 0);
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    QCOMPARE(countOf(all, "stopping"), cancel ? 2 : 1);
    int stopped = 0;
    for (const QJsonValue& v : ran.json().value("results").toArray()) {
        const QJsonObject r = v.toObject();
        const QString how = r.value("stopped").toString();
        if (r.contains("notStarted")) {
            QCOMPARE(r.value("notStarted").toString(), QString("stopped by signal"));
        } else if (!how.isEmpty()) {
            ++stopped;
            QCOMPARE(how, QString(cancel ? "cancelled" : "drained"));
            // Drained, a flash ends as it would have: programmed; cancelled, by the signal.
            QCOMPARE(r.value("exitCode").toInt(), cancel ? 130 : 0);
        }
    }
    QVERIFY2(stopped > 0, qPrintable(ran.out));
}

QTEST_GUILESS_MAIN(CliFleetTest)
#include "tst_cli_fleet.moc"
