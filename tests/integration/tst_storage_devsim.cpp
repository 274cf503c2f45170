// velkor-cli store and readback as processes against velkor-devsim over TCP, through its
// broker and over its pseudo-terminal, with faults injected: the stored text read back equals
// the file, also over a link that pauses inside answers, in the normal and the fast exchange,
// and both put the same bytes on the wire; an interrupted upload resumes, and a finalisation
// reaches the controller's restart.
#include "CliRun.h"
#include "DevsimProcess.h"
#include "SRecordText.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>

namespace {

using TestRecords::record;

// A firmware file of `records` data records of 32 bytes, with a header that carries the
// remote-update signature.
QByteArray firmwareText(int records) {
    QByteArray text = record('0', QByteArray::fromHex("0000") + "UNIT:LUMET52 v2.0") + "\r\n";
    for (int i = 0; i < records; ++i) {
        QByteArray bytes =
            QByteArray::fromHex(QByteArray::number(0x8000 + 32 * i, 16).rightJustified(8, '0'));
        for (int k = 0; k < 32; ++k) {
            bytes.append(char((i * 7 + k * 13) & 0xFF));
        }
        text += record('3', bytes) + "\r\n";
    }
    return text + record('7', QByteArray::fromHex("00008000")) + "\r\n";
}

class Bench {
public:
    Bench() {
        file = QDir(dir.path()).filePath(QStringLiteral("fw.s37"));
        back = QDir(dir.path()).filePath(QStringLiteral("back.s37"));
    }

    void writeFirmware(int records) {
        text = firmwareText(records);
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(text);
    }

    // velkor-cli with the storage write's 30 s answer wait shortened: a lost answer is waited
    // for about as long as the test's --timeout, not half a minute.
    RunResult cli(const QStringList& arguments) {
        CliRun run(arguments);
        run.environment.insert(QStringLiteral("VELKOR_WAITS"), QStringLiteral("page-write=1500"));
        run.dataDir = dir.path();
        run.limitMs = 240000;
        return run.run();
    }

    QByteArray readBack() const {
        QFile f(back);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    QByteArray journal() const {
        QFile f(QDir(dir.path()).filePath(QStringLiteral("velkor.jnl")));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    QTemporaryDir dir;
    QString file;
    QString back;
    QByteArray text;
};

const QString kMatched = QStringLiteral("Загрузчик:Контрольная сумма файла совпала!");

// A TCP relay between the loader and the simulator that keeps every byte of one connection,
// each way.
class RecordingRelay {
public:
    explicit RecordingRelay(quint16 simulatorPort) : simulatorPort_(simulatorPort) {
        server_.listen(QHostAddress::LocalHost);
        QObject::connect(&server_, &QTcpServer::newConnection, [this] { accept(); });
    }
    quint16 port() const { return server_.serverPort(); }
    QByteArray sent;     // loader to controller
    QByteArray received; // controller to loader

private:
    void accept() {
        QTcpSocket* loader = server_.nextPendingConnection();
        auto* controller = new QTcpSocket(loader);
        controller->connectToHost(QHostAddress::LocalHost, simulatorPort_);
        controller->waitForConnected(3000);
        QObject::connect(loader, &QTcpSocket::readyRead, [this, loader, controller] {
            const QByteArray bytes = loader->readAll();
            sent += bytes;
            controller->write(bytes);
        });
        QObject::connect(controller, &QTcpSocket::readyRead, [this, loader, controller] {
            const QByteArray bytes = controller->readAll();
            received += bytes;
            loader->write(bytes);
        });
        QObject::connect(loader, &QTcpSocket::disconnected, loader, &QObject::deleteLater);
    }

    QTcpServer server_;
    quint16 simulatorPort_;
};

// Runs velkor-cli while this process's event loop goes on (the relay lives in it).
int cliWithEvents(const QStringList& arguments) {
    CliRun cli(arguments);
    cli.limitMs = 120000;
    return cli.run().exitCode;
}

QStringList connection(const DevsimProcess& sim, const QString& way) {
    if (way == QStringLiteral("broker")) {
        return {QStringLiteral("--broker"), sim.brokerAddress(), QStringLiteral("--id"),
                QStringLiteral("1")};
    }
    if (way == QStringLiteral("pty")) {
        return {QStringLiteral("--serial"), sim.ptyPath(), QStringLiteral("--baud"),
                QStringLiteral("115200")};
    }
    return {QStringLiteral("--tcp"), sim.tcpAddress()};
}

void addStorageColumns() {
    QTest::addColumn<QString>("way");
    QTest::addColumn<QStringList>("faults");
    QTest::addColumn<QStringList>("exchange"); // the loader's options of the answer wait
    QTest::addColumn<int>("records");
}

// Stores the row's firmware over the row's link and faults, reads it back and compares.
void storeAndReadBack() {
    QFETCH(QString, way);
    QFETCH(QStringList, faults);
    QFETCH(QStringList, exchange);
    QFETCH(int, records);
    DevsimProcess sim(
        QStringList{"--" + way, way == QStringLiteral("pty") ? QString() : "0"}.filter(
            QRegularExpression(QStringLiteral(".+"))) +
        faults);
    QVERIFY2(sim.isReady(), qPrintable(sim.errorOutput()));
    Bench b;
    b.writeFirmware(records); // about 100 bytes each
    const QStringList link = connection(sim, way) + exchange;
    const RunResult store =
        b.cli(QStringList{"store", b.file, "--from-start", "--timeout", "1500"} + link);
    QVERIFY2(store.exitCode == 0, qPrintable(store.err));
    QVERIFY(QString::fromLocal8Bit(store.out).startsWith(QStringLiteral("stored: Прошивка Num:")));
    const RunResult readBack = b.cli(QStringList{"readback", b.back, "--timeout", "1500"} + link);
    QVERIFY2(readBack.exitCode == 0, qPrintable(readBack.err));
    QVERIFY(readBack.err.contains(kMatched));
    QCOMPARE(b.readBack(), b.text);
    QCOMPARE(b.journal().count("------------------------------------------------------------"), 2);
}

} // namespace

class StorageDevsimTest : public QObject {
    Q_OBJECT
private slots:
    void storedFileReadsBackEqual_data();
    void storedFileReadsBackEqual();
    void answersCutInTwoReadBackEqual_data();
    void answersCutInTwoReadBackEqual();
    void fastExchangePutsTheSameBytesOnTheWire();
    void closedConnectionIsResumedWhereItStopped();
    void finalisationReprogramsAndRestarts();
    void exitCodes_data();
    void exitCodes();
    void interruptLeavesAResumePosition();
};

void StorageDevsimTest::storedFileReadsBackEqual_data() {
    addStorageColumns();
    QTest::newRow("tcp, wrong counters, a lost answer")
        << QStringLiteral("tcp")
        << QStringList{"--wrong-counter-every", "20", "--drop-every", "30", "--split", "3"}
        << QStringList{} << 30;
    QTest::newRow("broker, wrong counters, frames in pieces")
        << QStringLiteral("broker")
        << QStringList{"--wrong-counter-every", "17", "--double-frame-every", "9", "--split", "2"}
        << QStringList{} << 30;
    // The second half of every ninth frame comes after the answer is taken as complete.
    QTest::newRow("broker, frames split across the next command")
        << QStringLiteral("broker")
        << QStringList{"--split-frame-every", "9", "--split", "2", "--frame-gap", "50"}
        << QStringList{} << 30;
    QTest::newRow("pty, wrong counters, pieces")
        << QStringLiteral("pty") << QStringList{"--wrong-counter-every", "22", "--split", "2"}
        << QStringList{} << 30;
}

void StorageDevsimTest::storedFileReadsBackEqual() {
    storeAndReadBack();
}

void StorageDevsimTest::answersCutInTwoReadBackEqual_data() {
    addStorageColumns();
    // Every answer and the banner in two halves: the three quiet ticks alone would cut them.
    for (const char* gap : {"45", "200"}) {
        for (const QStringList& exchange : {QStringList{}, QStringList{"--fast"}}) {
            QTest::addRow("tcp, answers cut by %s ms%s", gap, exchange.isEmpty() ? "" : ", fast")
                << QStringLiteral("tcp") << QStringList{"--split", "2", "--gap", gap} << exchange
                << (gap == QByteArrayView("45") ? 5 : 3);
        }
    }
}

void StorageDevsimTest::answersCutInTwoReadBackEqual() {
    storeAndReadBack();
}

// The fast exchange only ends waits sooner: a flash, a store and a read-back over a link that
// cuts every answer in two carry the same bytes each way as in the normal exchange.
void StorageDevsimTest::fastExchangePutsTheSameBytesOnTheWire() {
    // No banner after the end record within the run: the simulator's traffic is the answers.
    DevsimProcess sim({"--tcp", "0", "--split", "2", "--gap", "45", "--reset-delay", "60000"});
    QVERIFY2(sim.isReady(), qPrintable(sim.errorOutput()));
    Bench b;
    b.writeFirmware(5);
    const QList<QStringList> operations{
        {"flash", b.file}, {"store", b.file, "--from-start"}, {"readback", b.back}};
    QList<QByteArray> traffic[2];
    for (const int fast : {0, 1}) {
        for (const QStringList& operation : operations) {
            RecordingRelay relay(sim.tcpPort());
            const QStringList options{"--tcp", QStringLiteral("127.0.0.1:%1").arg(relay.port()),
                                      "--data-dir", b.dir.path(), "-q"};
            QCOMPARE(
                cliWithEvents(operation + options + (fast ? QStringList{"--fast"} : QStringList{})),
                0);
            traffic[fast] << relay.sent << relay.received;
        }
        QCOMPARE(b.readBack(), b.text);
    }
    QCOMPARE(traffic[1].size(), 6);
    for (qsizetype i = 0; i < traffic[0].size(); ++i) {
        QVERIFY(!traffic[0][i].isEmpty());
        QCOMPARE(traffic[1][i], traffic[0][i]);
    }
    // The banner that greets the connection, half of it there before the flash began to wait,
    // is the flash's: the controller never had to show it a second time.
    QCOMPARE(traffic[0][1].count("UNIT:"), 1);
}

void StorageDevsimTest::closedConnectionIsResumedWhereItStopped() {
    DevsimProcess sim({"--tcp", "0", "--close-after-writes", "30"});
    QVERIFY2(sim.isReady(), qPrintable(sim.errorOutput()));
    Bench b;
    b.writeFirmware(50);
    const QStringList link = connection(sim, QStringLiteral("tcp"));
    const RunResult first =
        b.cli(QStringList{"store", b.file, "--from-start", "--timeout", "3000"} + link);
    QCOMPARE(first.exitCode, 75);
    const QRegularExpressionMatch resume =
        QRegularExpression(QStringLiteral("--resume (\\d+):(\\d+):(\\d+)")).match(first.err);
    QVERIFY2(resume.hasMatch(), qPrintable(first.err));
    QCOMPARE(resume.captured(3), QStringLiteral("29"));
    // The second connection gets its own count of writes: 30 more are plenty for the rest.
    const RunResult second = b.cli(
        QStringList{"store", b.file, "--resume", resume.captured(0).mid(9), "--timeout", "3000"} +
        link);
    QVERIFY2(second.exitCode == 0, qPrintable(second.err));
    const RunResult readBack = b.cli(QStringList{"readback", b.back} + link);
    QVERIFY2(readBack.exitCode == 0, qPrintable(readBack.err));
    QCOMPARE(b.readBack(), b.text);
    QVERIFY(b.journal().contains("Msg:\xce\xef\xe5\xf0\xe0\xf6\xe8\xff \xed\xe5 "));
}

void StorageDevsimTest::finalisationReprogramsAndRestarts() {
    DevsimProcess sim({"--tcp", "0", "--password", "s3cret", "--reset-delay", "100"});
    QVERIFY2(sim.isReady(), qPrintable(sim.errorOutput()));
    Bench b;
    b.writeFirmware(30);
    const QString init = QDir(b.dir.path()).filePath(QStringLiteral("init.txt"));
    QFile f(init);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("  SILENCETIME 300\r\n\r\n");
    f.close();
    const RunResult store =
        b.cli(QStringList{"store", b.file, "--from-start", "--finalize", "--init-commands", init,
                          "--password", "s3cret", "--debug"} +
              connection(sim, QStringLiteral("tcp")));
    QVERIFY2(store.exitCode == 0, qPrintable(store.err));
    for (const char* command : {"WriteStr SILENCETIME 300 ", "WriteStr REPROGRAMM W ",
                                "WriteStr RESET ", "WriteStr VER "}) {
        QVERIFY2(store.err.contains(QString::fromLatin1(command)), command);
    }
    QVERIFY(store.err.contains(QStringLiteral("Прошивка обновлена. Текущая версия:\nVER 3.14")));
}

void StorageDevsimTest::exitCodes_data() {
    QTest::addColumn<QStringList>("arguments"); // FILE stands for the firmware file
    QTest::addColumn<bool>("damaged");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QStringList>("faults"); // given: a simulator without password, with these
    QTest::addColumn<int>("withinMs");       // 0: no bound on the run's time
    QTest::newRow("no start position")
        << QStringList{"store", "FILE"} << false << 64 << QStringLiteral("--from-start or --resume")
        << QStringList() << 0;
    QTest::newRow("bad resume") << QStringList{"store", "FILE", "--resume", "70:10"} << false << 64
                                << QStringLiteral("PAGE:ADDR:LINE") << QStringList() << 0;
    QTest::newRow("damaged file") << QStringList{"store", "FILE", "--from-start"} << true << 65
                                  << QString() << QStringList() << 0;
    QTest::newRow("password not given") << QStringList{"store", "FILE", "--from-start"} << false
                                        << 64 << QStringLiteral("--password") << QStringList() << 0;
    QTest::newRow("wrong password")
        << QStringList{"store", "FILE", "--from-start", "--password", "guess"} << false << 76
        << QString() << QStringList() << 0;
    QTest::newRow("read-back, wrong password")
        << QStringList{"readback", "OUT", "--password", "guess"} << false << 76
        << QStringLiteral("LUMET:Отказ в доступе!") << QStringList() << 0;
    // The second write goes unanswered, and so do the ten logins after it (PASSWORD 3 to 12:
    // the first login and the upload's first took 1 and 2).
    QStringList silent{"--fault", "PAGEWRITE:2:lost"};
    for (int n = 3; n <= 12; ++n) {
        silent << "--fault" << QStringLiteral("PASSWORD:%1:lost").arg(n);
    }
    // Each login after the unanswered write waits --timeout, not the write's wait.
    QTest::newRow("a controller silent after a write: ten quick logins, then the position")
        << QStringList{"store", "FILE", "--from-start", "--timeout", "300"} << false << 75
        << QStringLiteral("resume with --resume") << silent << 9000;
}

void StorageDevsimTest::exitCodes() {
    QFETCH(QStringList, arguments);
    QFETCH(bool, damaged);
    QFETCH(int, code);
    QFETCH(QString, message);
    QFETCH(QStringList, faults);
    QFETCH(int, withinMs);
    DevsimProcess sim(faults.isEmpty() ? QStringList{"--tcp", "0", "--password", "s3cret"}
                                       : QStringList{"--tcp", "0"} + faults);
    QVERIFY2(sim.isReady(), qPrintable(sim.errorOutput()));
    Bench b;
    b.writeFirmware(5);
    if (damaged) {
        QFile f(b.file);
        QVERIFY(f.open(QIODevice::Append));
        f.write("S1FF\r\n");
    }
    arguments.replaceInStrings(QStringLiteral("FILE"), b.file);
    arguments.replaceInStrings(QStringLiteral("OUT"), b.back);
    const RunResult run = b.cli(arguments + connection(sim, QStringLiteral("tcp")));
    QCOMPARE(run.exitCode, code);
    QVERIFY2(run.err.contains(message), qPrintable(run.err));
    QVERIFY(!QFile::exists(b.back));
    QVERIFY2(withinMs == 0 || run.ms < withinMs, qPrintable(QString::number(run.ms)));
}

void StorageDevsimTest::interruptLeavesAResumePosition() {
    DevsimProcess sim({"--tcp", "0"});
    QVERIFY2(sim.isReady(), qPrintable(sim.errorOutput()));
    Bench b;
    b.writeFirmware(200);
    CliRun cli(QStringList{"store", b.file, "--from-start"} +
               connection(sim, QStringLiteral("tcp")));
    cli.dataDir = b.dir.path();
    // Ctrl-C once pieces have been confirmed, so that the position must have moved on.
    cli.when(
        [&cli] {
            const QString err = cli.errorSoFar();
            return err.contains("Str:") || err.contains(QStringLiteral("Загружено"));
        },
        [&cli] { cli.signal(SIGINT); });
    const RunResult run = cli.run();
    QCOMPARE(run.exitCode, 130);
    const QString& text = run.err;
    QVERIFY2(text.contains(QStringLiteral("resume with --resume 7")), qPrintable(text));
    // Progress was kept: not the start of the text (page 70, address 10, line 0).
    QVERIFY2(!text.contains(QStringLiteral("resume with --resume 70:10:0")), qPrintable(text));
    QVERIFY(b.journal().contains("Msg:"));
}

QTEST_GUILESS_MAIN(StorageDevsimTest)
#include "tst_storage_devsim.moc"
