// velkor-cli send as a process against small servers on loopback: answers printed as they
// came, the exit codes, and Ctrl-C.
#include "connections/BrokerFrame.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>

namespace {

// Answers every chunk it receives through reply (no answer when reply returns nothing).
class AnswerServer : public QObject {
public:
    explicit AnswerServer(std::function<QByteArray(const QByteArray&)> reply)
        : reply_(std::move(reply)) {
        server_.listen(QHostAddress::LocalHost);
        connect(&server_, &QTcpServer::newConnection, this, [this] {
            QTcpSocket* peer = server_.nextPendingConnection();
            connect(peer, &QTcpSocket::readyRead, this, [this, peer] {
                const QByteArray in = peer->readAll();
                received += in;
                const QByteArray out = reply_(in);
                if (out == "<close>") {
                    peer->close();
                } else {
                    peer->write(out);
                }
            });
        });
    }
    QString address() const { return QStringLiteral("127.0.0.1:%1").arg(server_.serverPort()); }
    QByteArray received;

private:
    QTcpServer server_;
    std::function<QByteArray(const QByteArray&)> reply_;
};

struct Run {
    int exitCode = -1;
    QByteArray out;
    QString err;
    qint64 ms = 0;
};

Run runCli(const QStringList& arguments, int interruptAfterMs = -1) {
    QTemporaryDir dataDir;
    QProcess cli;
    QElapsedTimer clock;
    clock.start();
    cli.start(QStringLiteral(VELKOR_CLI_PATH),
              QStringList{"send", "--data-dir", dataDir.path()} + arguments);
    cli.waitForStarted();
    bool interrupted = false;
    // The servers live in this process: keep its event loop running while the CLI works.
    while (cli.state() != QProcess::NotRunning && clock.elapsed() < 15000) {
        if (interruptAfterMs >= 0 && !interrupted && clock.elapsed() >= interruptAfterMs) {
            ::kill(pid_t(cli.processId()), SIGINT);
            interrupted = true;
        }
        QTest::qWait(5);
    }
    Run run;
    run.ms = clock.elapsed();
    run.exitCode = cli.exitCode();
    run.out = cli.readAllStandardOutput();
    run.err = QString::fromLocal8Bit(cli.readAllStandardError());
    return run;
}

} // namespace

class CliSendTest : public QObject {
    Q_OBJECT
private slots:
    void answersArePrintedAsTheyCame();
    void silentDeviceGivesSeventyFive();
    void refusedConnectionGivesSixtyNine();
    void brokerAnswersArePrintedWithoutTheirFrames();
    void ctrlCCancelsTheWait();
    void droppedConnectionEndsTheWaitAtOnce();
    void missingConnectionIsAUsageError();
};

void CliSendTest::answersArePrintedAsTheyCame() {
    AnswerServer echo([](const QByteArray& in) { return "OK " + in; });
    const Run run = runCli({"--tcp", echo.address(), "--timeout", "2000", "VER\\r", "\\\\x\\n"});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(echo.received, QByteArray("VER\r\\x\n"));
    QCOMPARE(run.out, QByteArray("OK VER\rOK \\x\n"));
}

void CliSendTest::silentDeviceGivesSeventyFive() {
    AnswerServer silent([](const QByteArray&) { return QByteArray(); });
    const Run run = runCli({"--tcp", silent.address(), "--timeout", "300", "A", "B"});
    QCOMPARE(run.exitCode, 75);
    QCOMPARE(silent.received, QByteArray("A")); // stops at the first unanswered command
    QVERIFY(run.err.contains("no answer to \"A\""));
    QVERIFY(run.out.isEmpty());
}

void CliSendTest::refusedConnectionGivesSixtyNine() {
    quint16 port = 0;
    {
        QTcpServer closed;
        closed.listen(QHostAddress::LocalHost);
        port = closed.serverPort();
    }
    const Run run = runCli({"--tcp", QStringLiteral("127.0.0.1:%1").arg(port), "VER"});
    QCOMPARE(run.exitCode, 69);
    QVERIFY2(run.err.contains("порт не доступен. Возможно он занят!"), qPrintable(run.err));
    QVERIFY(run.ms < 5000);
}

void CliSendTest::brokerAnswersArePrintedWithoutTheirFrames() {
    AnswerServer broker([](const QByteArray& in) {
        const auto request = BrokerFrame::decode(in);
        return request ? BrokerFrame::encode({0x41, request->hardwareId, "got " + request->payload})
                       : QByteArray("garbage");
    });
    const Run run = runCli({"--broker", broker.address(), "--id", "1", "--timeout", "2000", "VER"});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(broker.received, QByteArray::fromHex("01410100000003000300564552DD17"));
    QCOMPARE(run.out, QByteArray("got VER"));
    QVERIFY(run.err.contains("Ответ получен [7 байт]"));

    AnswerServer empty([](const QByteArray&) {
        return BrokerFrame::encode({0xC1, 1, QByteArray()}); // no controller with that id
    });
    const Run offline = runCli({"--broker", empty.address(), "--id", "1", "VER"});
    QCOMPARE(offline.exitCode, 69);
    QVERIFY(offline.err.contains("БРОКЕР:LUMET не найден...\nПовторите операцию позже..."));

    AnswerServer damaging([](const QByteArray& in) {
        const auto request = BrokerFrame::decode(in);
        QByteArray frame = BrokerFrame::encode({0x41, request ? request->hardwareId : 1, "VER 3"});
        frame[frame.size() - 1] = char(frame.back() ^ 0x5A); // a damaged CRC
        return frame;
    });
    const Run damaged = runCli({"--broker", damaging.address(), "--id", "1", "VER"});
    QCOMPARE(damaged.exitCode, 75);
    QVERIFY(damaged.err.contains("failed its CRC check"));

    // A command no broker frame can carry is refused before anything is opened.
    const Run tooLong = runCli({"--broker", broker.address(), "--id", "1", QString(3000, 'A')});
    QCOMPARE(tooLong.exitCode, 64);
}

void CliSendTest::ctrlCCancelsTheWait() {
    AnswerServer silent([](const QByteArray&) { return QByteArray(); });
    const Run run = runCli({"--tcp", silent.address(), "--timeout", "20000", "VER"}, 500);
    QCOMPARE(run.exitCode, 130);
    QVERIFY2(run.ms < 3000, qPrintable(QString::number(run.ms)));
    QVERIFY(run.err.contains("Отменено пользователем."));
}

void CliSendTest::droppedConnectionEndsTheWaitAtOnce() {
    AnswerServer closing([](const QByteArray&) { return QByteArray("<close>"); });
    const Run run = runCli({"--tcp", closing.address(), "--timeout", "20000", "VER", "X"});
    QCOMPARE(run.exitCode, 75);
    QCOMPARE(closing.received, QByteArray("VER"));
    QVERIFY2(run.ms < 3000, qPrintable(QString::number(run.ms)));
}

void CliSendTest::missingConnectionIsAUsageError() {
    const Run run = runCli({"VER"});
    QCOMPARE(run.exitCode, 64);
    QVERIFY(run.err.contains("--serial, --tcp or --broker"));
}

QTEST_GUILESS_MAIN(CliSendTest)
#include "tst_cli_send.moc"
