// velkor-cli as a process against velkor-devsim: the exit codes every subcommand shares, the
// result object of --json, progress lines, the journal entries, and fleets through the broker.
#include "CliRun.h"
#include "DevsimProcess.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <csignal>
#include <functional>
#include <memory>
#include <vector>

namespace {

// Runs velkor-cli with the arguments; once standard error shows marker (when not empty), calls
// onMarker (by default a Ctrl-C to velkor-cli).
RunResult runCli(const QStringList& arguments, const QString& marker = QString(),
                 std::function<void(CliRun&)> onMarker = nullptr) {
    CliRun cli(arguments);
    if (!marker.isEmpty()) {
        cli.whenError(marker, [&] { onMarker ? onMarker(cli) : cli.signal(SIGINT); });
    }
    return cli.run();
}

// How many processes have the text among their arguments (Linux: /proc/PID/cmdline).
int processesWithArgument(const QString& text) {
    int count = 0;
    const QByteArray needle = text.toLocal8Bit();
    for (const QString& pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(pid));
        if (pid.toInt() > 0 && cmdline.open(QIODevice::ReadOnly) &&
            cmdline.readAll().split('\0').contains(needle)) {
            ++count;
        }
    }
    return count;
}

QString journalOf(const QString& dataDir) {
    QFile file(dataDir + QStringLiteral("/velkor.jnl"));
    file.open(QIODevice::ReadOnly);
    return QStringDecoder("windows-1251").decode(file.readAll());
}

} // namespace

class CliFinishTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void exitCodes_data();
    void exitCodes();
    void jsonResultObject();
    void storeAndReadBackWithProgressLines();
    void stoppedAndRefusedRunsSayWhy_data();
    void stoppedAndRefusedRunsSayWhy();
    void fleetWithAMissingIdAndTwoJobs();
    void fleetSummaryAndPrefixedLines();
    void oddOutputsStayWhatTheyWere_data();
    void oddOutputsStayWhatTheyWere();
    void parallelRunsKeepTheJournalWhole();
    void fleetStoppedBySignal_data();
    void fleetStoppedBySignal();
    void badIdListsAreUsageErrors_data();
    void badIdListsAreUsageErrors();

private:
    QString file(const QString& name) const { return dir_.filePath(name); }
    QString sample(const QString& name, const QString& header);

    QTemporaryDir dir_;
};

QString CliFinishTest::sample(const QString& name, const QString& header) {
    const QString path = file(name);
    if (!QFile::exists(path)) {
        runCli({"sample", path, "--records", "20", "--header", header});
    }
    return path;
}

void CliFinishTest::initTestCase() {
    QVERIFY(dir_.isValid());
    QFile bad(file("bad.s37"));
    QVERIFY(bad.open(QIODevice::WriteOnly));
    bad.write("S00600004844521B\r\nS1130000FFFFFFFF\r\n");
    bad.close();
    QVERIFY(QFile::exists(sample("good.s37", "UNIT:LUMET52 demo 2.1")));
    QVERIFY(QFile::link(file("loop.s37"), file("loop.s37"))); // a link that names itself
    QVERIFY(QFile::exists(sample("dorn.s37", "UNIT:DORN20 demo 2.1")));
}

void CliFinishTest::exitCodes_data() {
    QTest::addColumn<QStringList>("simulator");
    QTest::addColumn<QStringList>("arguments"); // TCP and BROKER stand for the addresses
    QTest::addColumn<int>("exitCode");
    const QStringList plain{"--tcp", "0", "--broker", "0", "--ids", "1,2"};
    QTest::newRow("check sound") << plain << QStringList{"check", "good.s37"} << 0;
    QTest::newRow("check refused") << plain << QStringList{"check", "bad.s37"} << 65;
    QTest::newRow("check unreadable") << plain << QStringList{"check", "none.s37"} << 74;
    QTest::newRow("check bad option") << plain << QStringList{"check", "-x", "good.s37"} << 64;
    QTest::newRow("header") << plain << QStringList{"header", "good.s37"} << 0;
    QTest::newRow("send") << plain << QStringList{"send", "TCP", "VER"} << 0;
    QTest::newRow("send unknown id")
        << plain << QStringList{"send", "BROKER", "--id", "9", "VER"} << 69;
    QTest::newRow("readback silent") << QStringList{"--tcp", "0", "--drop-every", "1"}
                                     << QStringList{"readback", "out.s37", "TCP"} << 75;
    QTest::newRow("store unknown id")
        << plain << QStringList{"store", "good.s37", "BROKER", "--id", "9", "--from-start"} << 69;
    QTest::newRow("send closed port")
        << plain << QStringList{"send", "--tcp", "127.0.0.1:1", "V"} << 69;
    QTest::newRow("flash") << plain << QStringList{"flash", "good.s37", "TCP"} << 0;
    QTest::newRow("flash mismatch") << plain << QStringList{"flash", "dorn.s37", "TCP"} << 76;
    QTest::newRow("flash refused file") << plain << QStringList{"flash", "bad.s37", "TCP"} << 65;
    QTest::newRow("flash no file") << plain << QStringList{"flash", "TCP"} << 64;
    // Behind the broker nobody restarts the controller: the loader sends "RESET" itself.
    QTest::newRow("flash restarted by RESET through the broker")
        << plain << QStringList{"flash",     "good.s37", "BROKER",       "--id", "1",
                                "--restart", "command",  "--reset-wait", "5"}
        << 0;
    QTest::newRow("flash restart by DTR needs a serial port")
        << plain << QStringList{"flash", "good.s37", "TCP", "--restart", "dtr"} << 64;
    QTest::newRow("flash bad reset wait")
        << plain << QStringList{"flash", "good.s37", "TCP", "--reset-wait", "-1"} << 64;
    QTest::newRow("store") << plain << QStringList{"store", "good.s37", "TCP", "--from-start"} << 0;
    QTest::newRow("store wrong password")
        << QStringList{"--tcp", "0", "--password", "secret"}
        << QStringList{"store", "good.s37", "TCP", "--from-start", "--password", "x"} << 76;
    QTest::newRow("store no password")
        << QStringList{"--tcp", "0", "--password", "secret"}
        << QStringList{"store", "good.s37", "TCP", "--from-start"} << 64;
    QTest::newRow("stored, erased storage") << plain << QStringList{"stored", "TCP"} << 0;
    QTest::newRow("stored, unknown id")
        << plain << QStringList{"stored", "BROKER", "--id", "9"} << 69;
    QTest::newRow("stored takes no file") << plain << QStringList{"stored", "x.s37", "TCP"} << 64;
    QTest::newRow("readback erased storage")
        << plain << QStringList{"readback", "erased.s37", "TCP"} << 65;
    QTest::newRow("readback into a missing folder")
        << plain << QStringList{"readback", "missing/out.s37", "TCP"} << 74;
    // Refused before connecting, not after the whole read.
    QTest::newRow("readback into links in a loop")
        << plain << QStringList{"readback", "loop.s37", "TCP"} << 74;
    QTest::newRow("readback into a folder that takes no file")
        << plain << QStringList{"readback", "/proc/version", "TCP"} << 74;
    QTest::newRow("readback into no name") << plain << QStringList{"readback", "", "TCP"} << 64;
    QTest::newRow("check an endless device") << plain << QStringList{"check", "/dev/zero"} << 65;
    QTest::newRow("bad jobs") << plain << QStringList{"send", "TCP", "--jobs", "0", "V"} << 64;
    // {id} elsewhere than in OUT would let every id write the one file.
    QTest::newRow("fleet readback into one file")
        << plain
        << QStringList{"readback", "same.s37", "BROKER", "--id", "1,2", "--password", "{id}"} << 64;
}

void CliFinishTest::exitCodes() {
    QFETCH(QStringList, simulator);
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    DevsimProcess sim(simulator);
    QVERIFY(sim.isReady());
    QTemporaryDir data;
    QStringList args;
    for (const QString& a : arguments) {
        if (a == "TCP") {
            args << "--tcp" << sim.tcpAddress();
        } else if (a == "BROKER") {
            args << "--broker" << sim.brokerAddress();
        } else {
            args << (a.endsWith(".s37") ? file(a) : a);
        }
    }
    args << "--data-dir" << data.path();
    if (args.first() != "check" && args.first() != "header") {
        // The fast exchange: the same bytes and judgements, without 30 ms of silence a command.
        args << "--timeout"
             << "1500"
             << "--fast";
    }
    const RunResult run = runCli(args);
    QVERIFY2(
        run.exitCode == exitCode,
        qPrintable(
            QStringLiteral("exit %1\n%2\n%3").arg(run.exitCode).arg(run.err, QString(run.out))));
}

void CliFinishTest::jsonResultObject() {
    DevsimProcess sim({"--tcp", "0"});
    QTemporaryDir data;
    const QString tcp = sim.tcpAddress();
    const RunResult run = runCli({"flash", file("good.s37"), "--tcp", tcp, "--data-dir",
                                  data.path(), "--timeout", "1500", "--json"});
    QCOMPARE(run.exitCode, 0);
    QVERIFY2(run.out.count('\n') == 1, run.out.constData()); // one object, nothing else
    const QJsonObject o = run.json();
    QCOMPARE(o.value("subcommand").toString(), QString("flash"));
    QCOMPARE(o.value("outcome").toString(), QString("success"));
    QCOMPARE(o.value("exitCode").toInt(), 0);
    QVERIFY(o.value("status").toString().startsWith(QStringLiteral("Операция выполнена за ")));
    QVERIFY(o.value("elapsedMs").toDouble() > 0);
    QCOMPARE(o.value("file").toString(), file("good.s37"));
    QCOMPARE(o.value("connection").toString(),
             QStringLiteral("IP:127.0.0.1 Port: %1").arg(sim.tcpPort()));
    QVERIFY(journalOf(data.path()).contains(QStringLiteral("Port: %1").arg(sim.tcpPort())));

    // What a store left is read from the storage descriptor alone: the file's text length and the
    // checksum the store reported.
    const RunResult stored = runCli({"store", file("good.s37"), "--tcp", tcp, "--from-start",
                                     "--data-dir", data.path(), "--json", "-q"});
    QCOMPARE(stored.exitCode, 0);
    const RunResult held =
        runCli({"stored", "--tcp", tcp, "--data-dir", data.path(), "--json", "-q"});
    QCOMPARE(held.exitCode, 0);
    QFile text(file("good.s37"));
    QVERIFY(text.open(QIODevice::ReadOnly));
    const QByteArray lines = text.readAll().replace("\r", "").replace("\n", "");
    QCOMPARE(held.json().value("length").toInteger(), lines.size());
    const QString checksum = held.json().value("checksum").toString();
    QVERIFY2(stored.json().value("output").toString().contains("CRC:" + checksum),
             qPrintable(stored.json().value("output").toString() + " / " + checksum));
    QVERIFY(journalOf(data.path())
                .contains(QStringLiteral("В памяти: текст %1 символов").arg(lines.size())));

    // A journal that cannot be written is said even with -q, and in the result object; the run
    // is no success.
    QTemporaryDir blocked;
    QVERIFY(QDir(blocked.path()).mkdir("velkor.jnl"));
    const RunResult unjournalled =
        runCli({"send", "--tcp", tcp, "--data-dir", blocked.path(), "-q", "--json", "VER\\r"});
    QCOMPARE(unjournalled.exitCode, 74);
    QVERIFY2(unjournalled.err.contains("warning: the journal entry was not written"),
             qPrintable(unjournalled.err));
    QCOMPARE(unjournalled.json().value("journalWritten").toBool(true), false);

    const RunResult refused = runCli({"check", file("bad.s37"), "--json", "-q"});
    QCOMPARE(refused.exitCode, 65);
    QCOMPARE(refused.json().value("outcome").toString(), QString("file-refused"));
    QCOMPARE(refused.json().value("exitCode").toInt(), 65);
    QVERIFY(refused.err.isEmpty() || !refused.err.contains("Проверка"));
}

void CliFinishTest::storeAndReadBackWithProgressLines() {
    DevsimProcess sim({"--tcp", "0"});
    QTemporaryDir data;
    const QStringList common{"--tcp",     sim.tcpAddress(), "--data-dir",
                             data.path(), "--timeout",      "1500"};
    const RunResult store = runCli(QStringList{"store", file("good.s37"), "--from-start"} + common);
    QCOMPARE(store.exitCode, 0);
    // Standard error is a pipe: plain lines, one per message, never a redrawn bar.
    QVERIFY(!store.err.contains('\r'));
    QVERIFY(store.err.contains(QStringLiteral("Загружено")));
    const QString out = file("readback.s37");
    const RunResult back = runCli(QStringList{"readback", out, "--json"} + common);
    QCOMPARE(back.exitCode, 0);
    QCOMPARE(back.json().value("outcome").toString(), QString("success"));
    QFile original(file("good.s37"));
    QFile copy(out);
    QVERIFY(original.open(QIODevice::ReadOnly) && copy.open(QIODevice::ReadOnly));
    QCOMPARE(copy.readAll().replace("\r", ""), original.readAll().replace("\r", ""));
    QCOMPARE(journalOf(data.path()).count(QStringLiteral("Params:IP:127.0.0.1")), 2);
}

void CliFinishTest::stoppedAndRefusedRunsSayWhy_data() {
    QTest::addColumn<QStringList>("simulator");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("marker"); // once standard error shows it: the signal is sent
    QTest::addColumn<int>("signal");     // 0: the simulator stops instead
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("outcome");
    QTest::addColumn<QString>("status");
    const QStringList slow{"--tcp", "0", "--delay", "150"};
    const QStringList plain{"--tcp", "0"};
    const QStringList flash{"flash", "good.s37"};
    const QStringList store{"store", "good.s37", "--from-start"};
    const QString programming = QStringLiteral("Идет программирование");
    const QString stored = QStringLiteral("Загружено");
    const QString cancelled = QStringLiteral("Операция не выполнена - отменено пользователем");
    QTest::newRow("Ctrl-C mid-flash")
        << slow << flash << programming << SIGINT << 130 << "cancelled" << cancelled;
    QTest::newRow("simulator closed mid-flash")
        << slow << flash << programming << 0 << 75 << "link-lost"
        << QStringLiteral("Операция не выполнена - связь с устройством потеряна");
    QTest::newRow("signature mismatch")
        << plain << QStringList{"flash", "dorn.s37"} << QString() << 0 << 76 << "refused"
        << QStringLiteral("Операция не выполнена - тип устройства UNIT:LUMET52 не совпадает с "
                          "сигнатурой файла UNIT:DORN20");
    QTest::newRow("Ctrl-C mid-store")
        << plain << store << stored << SIGINT << 130 << "cancelled" << cancelled;
    QTest::newRow("SIGTERM mid-store") << plain << store << stored << SIGTERM << 143 << "cancelled"
                                       << cancelled + QStringLiteral(": получен сигнал SIGTERM");
    QTest::newRow("SIGHUP mid-flash")
        << slow << flash << programming << SIGHUP << 129 << "cancelled"
        << cancelled + QStringLiteral(": получен сигнал SIGHUP");
}

// The exit code, the result object and the journal agree on what happened, and say why. A
// store stopped by a signal keeps its progress: resumed from the position it gave, it completes
// and reads back byte for byte.
void CliFinishTest::stoppedAndRefusedRunsSayWhy() {
    QFETCH(QStringList, simulator);
    QFETCH(QStringList, arguments);
    QFETCH(QString, marker);
    QFETCH(int, signal);
    QFETCH(int, exitCode);
    QFETCH(QString, outcome);
    QFETCH(QString, status);
    DevsimProcess sim(simulator);
    QTemporaryDir data;
    const QString firmware = file(arguments[1]);
    arguments[1] = firmware;
    const QStringList common{"--tcp",     sim.tcpAddress(), "--data-dir",
                             data.path(), "--timeout",      "20000"};
    const RunResult run =
        runCli(arguments + common + QStringList{"--json"}, marker,
               [&](CliRun& cli) { signal == 0 ? sim.stop() : cli.signal(signal); });
    QVERIFY2(run.exitCode == exitCode, qPrintable(run.err));
    QCOMPARE(run.json().value("outcome").toString(), outcome);
    QCOMPARE(run.json().value("status").toString(), status);
    QCOMPARE(run.json().value("journalWritten").toBool(), true);
    QVERIFY(journalOf(data.path()).contains(QStringLiteral("Msg:") + status + "\r\n"));
    const QString position = run.json().value("resume").toString();
    QCOMPARE(!position.isEmpty(), arguments.first() == "store");
    if (position.isEmpty()) {
        return;
    }
    // Progress was kept: the position is past the start of the text, and it is printed.
    QVERIFY2(!position.startsWith("70:10:"), qPrintable(position));
    QVERIFY(run.err.contains(QStringLiteral("resume with --resume ") + position));
    const QStringList quick = common + QStringList{"--fast"};
    const RunResult resumed = runCli(QStringList{"store", firmware, "--resume", position} + quick);
    QCOMPARE(resumed.exitCode, 0);
    const QString copy = data.filePath("copy.s37");
    QCOMPARE(runCli(QStringList{"readback", copy} + quick).exitCode, 0);
    QFile original(firmware);
    QFile back(copy);
    QVERIFY(original.open(QIODevice::ReadOnly) && back.open(QIODevice::ReadOnly));
    QCOMPARE(back.readAll(), original.readAll());
}

void CliFinishTest::fleetWithAMissingIdAndTwoJobs() {
    DevsimProcess sim({"--broker", "0", "--ids", "1,2,7"});
    QTemporaryDir data;
    const RunResult run = runCli({"store", file("good.s37"), "--from-start", "--broker",
                                  sim.brokerAddress(), "--id", "1-2,5,7", "--jobs", "2",
                                  "--data-dir", data.path(), "--timeout", "1500", "--json"});
    // The first id that failed: 5, not known to the broker.
    QVERIFY2(run.exitCode == 69, qPrintable(run.err + QString::fromUtf8(run.out)));
    const QJsonArray results = run.json().value("results").toArray();
    QCOMPARE(results.size(), 4);
    const int expected[][2] = {{1, 0}, {2, 0}, {5, 69}, {7, 0}};
    for (int i = 0; i < 4; ++i) {
        const QJsonObject r = results.at(i).toObject();
        QCOMPARE(r.value("id").toInt(), expected[i][0]);
        QCOMPARE(r.value("exitCode").toInt(), expected[i][1]);
        QVERIFY(r.value("elapsedMs").toDouble() >= 0);
    }
    QCOMPARE(run.json().value("status").toString(), QString("3 of 4 succeeded"));
    const QString journal = journalOf(data.path());
    for (const char* id : {"ID: 1\r", "ID: 2\r", "ID: 7\r"}) {
        QVERIFY2(journal.contains(QLatin1String(id)), id);
    }
}

void CliFinishTest::oddOutputsStayWhatTheyWere_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("exitCode");
    QTest::newRow("a new name") << "new" << 0;
    QTest::newRow("a FIFO") << "fifo" << 0;
    QTest::newRow("a FIFO nobody reads: SIGTERM ends the wait") << "fifo unread" << 143;
    QTest::newRow("a character device (/dev/null's numbers)") << "device" << 0;
    QTest::newRow("- is standard output") << "-" << 0;
    QTest::newRow("/dev/stdout, a pipe: the data alone") << "/dev/stdout" << 0;
    QTest::newRow("/dev/stdout with --json") << "/dev/stdout json" << 64;
    QTest::newRow("a name that is not UTF-8") << "bytes" << 64;
    QTest::newRow("a link to a new name: the target is written") << "link" << 0;
    QTest::newRow("a link into a missing folder: refused before the read") << "dangling" << 74;
}

// A read-back writes into a FIFO or a device as it is, never replacing it with a plain file;
// "-" is standard output; a name the system cannot decode is refused, not written under another.
void CliFinishTest::oddOutputsStayWhatTheyWere() {
    QFETCH(QString, kind);
    QFETCH(int, exitCode);
    DevsimProcess sim({"--tcp", "0"});
    QTemporaryDir data;
    const QStringList common{"--tcp",     sim.tcpAddress(), "--data-dir", data.path(),
                             "--timeout", "5000",           "--fast"};
    QCOMPARE(runCli(QStringList{"store", file("good.s37"), "--from-start"} + common).exitCode, 0);
    QFile original(file("good.s37"));
    QVERIFY(original.open(QIODevice::ReadOnly));
    const QByteArray expected = original.readAll();
    QString out = data.filePath(QStringLiteral("out.s37"));
    QProcess reader; // drains the FIFO
    if (kind.startsWith("fifo")) {
        QCOMPARE(QProcess::execute("mkfifo", {out}), 0);
        if (kind == "fifo") {
            reader.start("cat", {out});
        }
    } else if (kind == "device") {
        if (QProcess::execute("mknod", {out, "c", "1", "3"}) != 0) {
            QSKIP("making a device node needs root");
        }
    } else if (kind == "-" || kind.startsWith("/dev/stdout")) {
        out = kind.section(' ', 0, 0);
    } else if (kind == "link" || kind == "dangling") {
        const QString target = kind == "link" ? "target.s37" : "missing/target.s37";
        QVERIFY(QFile::link(data.filePath(target), out));
    }
    RunResult run;
    if (kind == "bytes") {
        // The name's bytes go through the shell as they are.
        CliRun shell(QStringList{"-c", "exec \"$0\" readback \"$(printf 'out\\377.s37')\" \"$@\"",
                                 QStringLiteral(VELKOR_CLI_PATH)} +
                         common,
                     QStringLiteral("/bin/sh"));
        shell.workingDirectory = data.path();
        run = shell.run();
    } else if (kind == "fifo unread") {
        run = runCli(QStringList{"readback", out} + common, "no process reads",
                     [](CliRun& cli) { cli.signal(SIGTERM); });
    } else {
        const QStringList json = kind.endsWith("json") ? QStringList{"--json"} : QStringList{};
        run = runCli(QStringList{"readback", out} + common + json);
    }
    QVERIFY2(run.exitCode == exitCode, qPrintable(run.err));
    if (kind == "fifo") {
        QVERIFY(reader.state() == QProcess::NotRunning || reader.waitForFinished(5000));
        QCOMPARE(reader.readAllStandardOutput(), expected);
    } else if (kind == "-" || kind == "/dev/stdout") {
        QCOMPARE(run.out, expected);
    } else if (kind == "new") {
        QFile written(out);
        QVERIFY(written.open(QIODevice::ReadOnly));
        QCOMPARE(written.readAll(), expected);
    }
    if (kind.startsWith("fifo") || kind == "device") {
        const QFileInfo info(out);
        QVERIFY2(info.exists() && !info.isFile(), "the node became a plain file");
    }
    if (kind == "bytes") {
        QCOMPARE(QDir(data.path()).entryList({"out*"}), QStringList());
    }
    if (kind == "link") {
        QVERIFY(QFileInfo(out).isSymLink());
        QFile written(data.filePath("target.s37"));
        QVERIFY(written.open(QIODevice::ReadOnly));
        QCOMPARE(written.readAll(), expected);
    }
    if (kind == "fifo unread") {
        QVERIFY2(run.err.contains(QStringLiteral("no process reads the FIFO \"%1\"").arg(out)),
                 qPrintable(run.err));
        // Stopped before the read began: the store's is the only journal entry.
        QCOMPARE(journalOf(data.path()).count("Msg:"), 1);
    }
    if (kind == "dangling") {
        QVERIFY2(run.err.contains("missing"), qPrintable(run.err));
        // Refused before connecting: the store's is the only journal entry.
        QCOMPARE(journalOf(data.path()).count("Msg:"), 1);
    }
}

// Runs of velkor-cli at once against one data folder, while every core is busy, each leave
// their whole journal entry: four lines together, never interleaved with another's, and none
// lost to the lock.
void CliFinishTest::parallelRunsKeepTheJournalWhole() {
    DevsimProcess sim({"--tcp", "0"});
    QTemporaryDir data;
    std::vector<std::unique_ptr<QProcess>> busy;
    for (int i = 0; i < QThread::idealThreadCount(); ++i) {
        busy.push_back(std::make_unique<QProcess>());
        busy.back()->start("sh", {"-c", "while :; do :; done"});
    }
    constexpr int kRuns = 64;
    std::vector<std::unique_ptr<CliRun>> runs;
    for (int i = 0; i < kRuns; ++i) {
        runs.push_back(std::make_unique<CliRun>(QStringList{"send", "--tcp", sim.tcpAddress(), "-q",
                                                            QStringLiteral("VER %1\\r").arg(i)}));
        runs.back()->dataDir = data.path();
        runs.back()->limitMs = 60000;
        QVERIFY(runs.back()->start());
    }
    QElapsedTimer clock;
    clock.start();
    int succeeded = 0;
    for (auto& run : runs) {
        succeeded += run->finish().exitCode == 0 ? 1 : 0;
    }
    for (auto& process : busy) {
        process->kill();
        process->waitForFinished();
    }
    const QStringList lines = journalOf(data.path()).split(QStringLiteral("\r\n"));
    qInfo("%d runs at once on busy cores: %lld entries, %d runs exited 0, %lld ms", kRuns,
          lines.size() / 4, succeeded, clock.elapsed());
    QCOMPARE(succeeded, kRuns);
    QCOMPARE(lines.size(), kRuns * 4 + 1);
    QSet<QString> commands;
    for (qsizetype i = 0; i + 4 < lines.size(); i += 4) {
        QCOMPARE(lines[i], QString(60, QLatin1Char('-')));
        QVERIFY(lines[i + 1].startsWith("Date:") && lines[i + 2].startsWith("Params:"));
        QVERIFY2(lines[i + 3].startsWith("Msg:Терминал: VER "), qPrintable(lines[i + 3]));
        commands.insert(lines[i + 3].section(' ', 2, 2));
    }
    QCOMPARE(commands.size(), kRuns);
}

void CliFinishTest::fleetStoppedBySignal_data() {
    QTest::addColumn<int>("signal");
    QTest::addColumn<bool>("json");
    QTest::newRow("SIGTERM, table") << SIGTERM << false;
    QTest::newRow("SIGHUP, --json") << SIGHUP << true;
    QTest::newRow("SIGKILL: nothing goes on storing") << SIGKILL << true;
}

// A stopped fleet leaves nothing storing to a controller nobody watches, and no id's resume
// position is lost: the table has a column of them and the result object a field per id. The
// first signal drains: each store stops at its next confirmed piece. The id not yet started is
// named so, with the exit of the signal that stopped it.
void CliFinishTest::fleetStoppedBySignal() {
    QFETCH(int, signal);
    QFETCH(bool, json);
    QTemporaryDir data;
    const QString storage = data.filePath(QStringLiteral("storage"));
    DevsimProcess sim({"--broker", "0", "--ids", "1,2,3", "--delay", "60", "--storage", storage});
    QStringList args{"store",
                     file("good.s37"),
                     "--from-start",
                     "--broker",
                     sim.brokerAddress(),
                     "--id",
                     "1-4",
                     "--jobs",
                     "3",
                     "--data-dir",
                     data.path(),
                     "--timeout",
                     "20000"};
    if (json) {
        args << "--json";
    }
    CliRun fleet(args);
    QVERIFY(fleet.start());
    // Every id logged in and storing.
    QTRY_VERIFY_WITH_TIMEOUT(storesData(storage, {"1", "2", "3"}), 10000);
    QCOMPARE(processesWithArgument(data.path()), 1); // the fleet alone: its members are threads
    fleet.signal(signal);
    QElapsedTimer clock;
    clock.start();
    while (processesWithArgument(data.path()) > 0 && clock.elapsed() < 1000) {
        QTest::qWait(20);
    }
    QCOMPARE(processesWithArgument(data.path()), 0);
    if (signal == SIGKILL) {
        return;
    }
    const RunResult stopped = fleet.finish();
    QCOMPARE(stopped.exitCode, 128 + signal);
    const QByteArray& out = stopped.out;
    if (json) {
        const QJsonArray results = stopped.json().value("results").toArray();
        QCOMPARE(results.size(), 4);
        for (qsizetype i = 0; i < 3; ++i) {
            QVERIFY2(!results.at(i).toObject().value("resume").toString().isEmpty(),
                     out.constData());
        }
        const QJsonObject waiting = results.at(3).toObject();
        QCOMPARE(waiting.value("exitCode").toInt(), 128 + signal);
        QCOMPARE(waiting.value("outcome").toString(), QString("not-started"));
    } else {
        const auto positions = QRegularExpression(QStringLiteral(" \\d+:\\d+:\\d+ "))
                                   .globalMatch(QString::fromUtf8(out));
        int count = 0;
        for (auto it = positions; it.hasNext(); it.next()) {
            ++count;
        }
        QVERIFY2(out.contains("resume") && count == 3, out.constData());
        const QRegularExpression waiting(
            QStringLiteral("\\n4 +not-started +%1 ").arg(128 + signal));
        QVERIFY2(QString::fromUtf8(out).contains(waiting), out.constData());
    }
}

void CliFinishTest::fleetSummaryAndPrefixedLines() {
    DevsimProcess sim({"--broker", "0", "--ids", "3,4"});
    QTemporaryDir data;
    const RunResult run = runCli({"send", "--broker", sim.brokerAddress(), "--id", "3,4",
                                  "--data-dir", data.path(), "--timeout", "1500", "VER"});
    QCOMPARE(run.exitCode, 0);
    QVERIFY2(run.err.contains("[3] ") && run.err.contains("[4] "), qPrintable(run.err));
    QVERIFY(!run.err.contains("\033["));
    const QList<QByteArray> lines = run.out.split('\n');
    QVERIFY(run.out.contains("[3] VER") && run.out.contains("[4] VER"));
    qsizetype header = -1;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        header = lines.at(i).startsWith("id ") ? i : header;
    }
    QVERIFY2(header >= 0 && header + 2 < lines.size(), run.out.constData());
    QVERIFY(lines.at(header + 1).startsWith("3 ") && lines.at(header + 1).contains("success"));
    QVERIFY(lines.at(header + 2).startsWith("4 ") && lines.at(header + 2).contains("success"));
    // Members share threads: whatever one prints, its progress included, goes through its own
    // channel, never to standard error as it is.
    const RunResult flash =
        runCli({"flash", file("good.s37"), "--restart", "command", "--broker", sim.brokerAddress(),
                "--id", "3,4", "--data-dir", data.path(), "--timeout", "1500"});
    QCOMPARE(flash.exitCode, 0);
    for (const QString& line : flash.err.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        QVERIFY2(line.startsWith(QLatin1Char('[')) || line.startsWith("velkor-cli"),
                 qPrintable(line));
    }
}

void CliFinishTest::badIdListsAreUsageErrors_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("backwards") << QStringList{"--broker", "127.0.0.1:1", "--id", "7-3"};
    QTest::newRow("not a number") << QStringList{"--broker", "127.0.0.1:1", "--id", "1,x"};
    QTest::newRow("empty item") << QStringList{"--broker", "127.0.0.1:1", "--id", "1,,2"};
    QTest::newRow("too many") << QStringList{"--broker", "127.0.0.1:1", "--id", "1-5000"};
    QTest::newRow("fleet without broker") << QStringList{"--tcp", "127.0.0.1:1", "--id", "1,2"};
}

void CliFinishTest::badIdListsAreUsageErrors() {
    QFETCH(QStringList, arguments);
    const RunResult run = runCli(QStringList{"send"} + arguments + QStringList{"VER"});
    QCOMPARE(run.exitCode, 64);
    QVERIFY(run.err.contains("--id") || run.err.contains("--broker"));
}

QTEST_GUILESS_MAIN(CliFinishTest)
#include "tst_cli_finish.moc"
