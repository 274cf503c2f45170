// Fleets of velkor-cli against the simulator's broker: rollouts in waves, the failure limit, the
// campaign file that a second run picks up, and a stop signal that the campaign file survives.
// Ids the broker does not know fail at once (69): they are the failing controllers here.
#include "CliRun.h"
#include "DevsimProcess.h"

#include <QFile>
#include <QJsonArray>
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

} // namespace

class CliFleetTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void rollouts_data();
    void rollouts();

private:
    QTemporaryDir dir_;
};

void CliFleetTest::initTestCase() {
    QVERIFY(dir_.isValid());
    CliRun sample({"sample", dir_.filePath("good.s37"), "--records", "20", "--header",
                   "UNIT:LUMET52 demo 2.1"});
    sample.limitMs = 10000;
    QCOMPARE(sample.run().exitCode, 0);
}

void CliFleetTest::rollouts_data() {
    QTest::addColumn<QString>("simIds");      // the controllers the broker has in the first run
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
    const auto run = [&](const QString& ids, const QStringList& slow) {
        DevsimProcess sim(QStringList{"--broker", port, "--ids", ids, "--storage", storage} + slow);
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
             << "--json";
        if (options.first() == "send") {
            args << "VER";
        }
        return runFleet(args, signal, storage, {"1", "2", "3"});
    };
    const RunResult first = run(simIds, signal != 0 ? QStringList{"--delay", "60"} : QStringList{});
    QCOMPARE(codesOf(first.json()), codes);
    QCOMPARE(first.exitCode, exitCode);
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

QTEST_GUILESS_MAIN(CliFleetTest)
#include "tst_cli_fleet.moc"
