// velkor-cli send as a process against small servers on loopback: answers printed as they
// came, the exit codes, and Ctrl-C.
#include "CliRun.h"
#include "connections/BrokerFrame.h"
#include "core/Cp1251.h"

#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>

namespace {

// Answers every chunk it receives through reply (no answer when reply returns nothing).
class AnswerServer : public QObject {
public:
    explicit AnswerServer(std::function<QByteArray(const QByteArray&)> reply,
                          const QHostAddress& at = QHostAddress::LocalHost)
        : reply_(std::move(reply)) {
        server_.listen(at);
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
    // An IPv6 address in brackets, as --tcp and --broker take it with a port.
    QString address() const {
        const QHostAddress at = server_.serverAddress();
        const QString host = at.protocol() == QAbstractSocket::IPv6Protocol
                                 ? QLatin1Char('[') + at.toString() + QLatin1Char(']')
                                 : at.toString();
        return host + QLatin1Char(':') + QString::number(server_.serverPort());
    }
    QByteArray received;

private:
    QTcpServer server_;
    std::function<QByteArray(const QByteArray&)> reply_;
};

// After the first command, sends chunk after chunk without pause, as fast as the reader takes
// them.
class FloodServer : public QObject {
public:
    explicit FloodServer(QByteArray chunk) : chunk_(std::move(chunk)) {
        server_.listen(QHostAddress::LocalHost);
        connect(&server_, &QTcpServer::newConnection, this, [this] {
            QTcpSocket* peer = server_.nextPendingConnection();
            connect(peer, &QTcpSocket::readyRead, this, [this, peer] {
                peer->readAll();
                fill(peer);
            });
            connect(peer, &QTcpSocket::bytesWritten, this, [this, peer] { fill(peer); });
        });
    }
    QString address() const { return QStringLiteral("127.0.0.1:%1").arg(server_.serverPort()); }

private:
    void fill(QTcpSocket* peer) {
        while (peer->state() == QAbstractSocket::ConnectedState && peer->bytesToWrite() < 1 << 20) {
            peer->write(chunk_);
        }
    }
    QTcpServer server_;
    QByteArray chunk_;
};

// velkor-cli with a data folder of its own, its peak memory sampled; with interruptAfterMs, a
// Ctrl-C then. The servers live in this process: its event loop goes on while the CLI works.
RunResult runCli(const QStringList& arguments, int interruptAfterMs = -1,
                 const QString& subcommand = QStringLiteral("send"), QString* journal = nullptr) {
    QTemporaryDir dataDir;
    CliRun cli(QStringList{subcommand} + arguments);
    cli.dataDir = dataDir.path();
    cli.limitMs = 15000;
    cli.samplesMemory = true;
    if (interruptAfterMs >= 0) {
        cli.when([&] { return cli.elapsedMs() >= interruptAfterMs; }, [&] { cli.signal(SIGINT); });
    }
    const RunResult run = cli.run();
    QFile entries(dataDir.filePath(QStringLiteral("velkor.jnl")));
    if (journal != nullptr && entries.open(QIODevice::ReadOnly)) {
        *journal = Cp1251::decode(entries.readAll());
    }
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
    void peerThatNeverPausesIsCutOff_data();
    void peerThatNeverPausesIsCutOff();
    void brokerAnswersFromOtherIdsAndHeaders_data();
    void brokerAnswersFromOtherIdsAndHeaders();
    void ctrlCCancelsTheWait();
    void versionQueryEndsAsEveryOperation_data();
    void versionQueryEndsAsEveryOperation();
    void droppedConnectionEndsTheWaitAtOnce();
    void missingConnectionIsAUsageError();
    void ipv6AddressesInBrackets_data();
    void ipv6AddressesInBrackets();
};

void CliSendTest::answersArePrintedAsTheyCame() {
    AnswerServer echo([](const QByteArray& in) { return "OK " + in; });
    const RunResult run =
        runCli({"--tcp", echo.address(), "--timeout", "2000", "VER\\r", "\\\\x\\n"});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(echo.received, QByteArray("VER\r\\x\n"));
    QCOMPARE(run.out, QByteArray("OK VER\rOK \\x\n"));
}

void CliSendTest::silentDeviceGivesSeventyFive() {
    AnswerServer silent([](const QByteArray&) { return QByteArray(); });
    const RunResult run = runCli({"--tcp", silent.address(), "--timeout", "300", "A", "B"});
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
    const RunResult run = runCli({"--tcp", QStringLiteral("127.0.0.1:%1").arg(port), "VER"});
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
    const RunResult run =
        runCli({"--broker", broker.address(), "--id", "1", "--timeout", "2000", "VER"});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(broker.received, QByteArray::fromHex("01410100000003000300564552DD17"));
    QCOMPARE(run.out, QByteArray("got VER"));
    QVERIFY(run.err.contains("Ответ получен [7 байт]"));

    AnswerServer empty([](const QByteArray&) {
        return BrokerFrame::encode({0xC1, 1, QByteArray()}); // no controller with that id
    });
    const RunResult offline = runCli({"--broker", empty.address(), "--id", "1", "VER"});
    QCOMPARE(offline.exitCode, 69);
    QVERIFY(offline.err.contains("БРОКЕР:LUMET не найден...\nПовторите операцию позже..."));

    AnswerServer damaging([](const QByteArray& in) {
        const auto request = BrokerFrame::decode(in);
        QByteArray frame = BrokerFrame::encode({0x41, request ? request->hardwareId : 1, "VER 3"});
        frame[frame.size() - 1] = char(frame.back() ^ 0x5A); // a damaged CRC
        return frame;
    });
    const RunResult damaged = runCli({"--broker", damaging.address(), "--id", "1", "VER"});
    QCOMPARE(damaged.exitCode, 75);
    QVERIFY(damaged.err.contains("failed its CRC check"));

    // A command no broker frame can carry is refused before anything is opened.
    const RunResult tooLong =
        runCli({"--broker", broker.address(), "--id", "1", QString(3000, 'A')});
    QCOMPARE(tooLong.exitCode, 64);
}

void CliSendTest::peerThatNeverPausesIsCutOff_data() {
    QTest::addColumn<QStringList>("link");
    QTest::addColumn<QByteArray>("chunk");
    QTest::addColumn<bool>("overflows"); // else the 2000 ms wait runs out
    const QByteArray frames = BrokerFrame::encode({0x41, 1, QByteArray(4000, 'U')}).repeated(16);
    QByteArray junk(64 * 1024, '\0');
    for (qsizetype i = 0; i < junk.size(); ++i) {
        junk[i] = char((i * 7919) >> 3);
    }
    const QStringList broker{"--broker", "--id", "1"};
    QTest::newRow("tcp") << QStringList{"--tcp"} << QByteArray(64 * 1024, 'U') << true;
    QTest::newRow("broker, frames") << broker << frames << true;
    // Bytes that are no frame never reach the answer: the wait runs out.
    QTest::newRow("broker, garbage") << broker << junk << false;
    QTest::newRow("broker, another id's frames")
        << QStringList{"--broker", "--id", "2"} << frames << false;
}

void CliSendTest::peerThatNeverPausesIsCutOff() {
    QFETCH(QStringList, link);
    QFETCH(QByteArray, chunk);
    QFETCH(bool, overflows);
    FloodServer flood(chunk);
    link.insert(1, flood.address());
    const RunResult run = runCli(link + QStringList{"--timeout", "2000", "VER"});
    QCOMPARE(run.exitCode, 75);
    QVERIFY2(run.err.contains(overflows ? "передает данные без остановки" : "no answer to \"VER\""),
             qPrintable(run.err));
    QVERIFY2(overflows ? run.ms < 1500 : run.ms >= 2000 && run.ms < 6000,
             qPrintable(QString::number(run.ms)));
#ifndef __SANITIZE_ADDRESS__
    // Under AddressSanitizer freed memory sits in its quarantine: the bound says nothing there.
    QVERIFY2(run.peakKb < 100 * 1024, qPrintable(QString::number(run.peakKb)));
#endif
    qInfo("%s: %lld ms, peak resident memory %lld kB", QTest::currentDataTag(), run.ms, run.peakKb);
}

void CliSendTest::brokerAnswersFromOtherIdsAndHeaders_data() {
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QByteArray>("out");
    const QByteArray answer = BrokerFrame::encode({0x41, 1, "3.14"});
    QTest::newRow("another id's banner first")
        << BrokerFrame::encode({0x41, 2, "UNIT:OTHER\r\n"}) + answer << QByteArray("3.14");
    QByteArray foreign = answer;
    foreign[0] = char(0x02);
    foreign[8] = char(0x7F);
    foreign[9] = char(0x01);
    BrokerFrame::AppendCrc16(foreign.data(), int(foreign.size()) - 2);
    QTest::newRow("other header bytes") << foreign << QByteArray("3.14");
}

void CliSendTest::brokerAnswersFromOtherIdsAndHeaders() {
    QFETCH(QByteArray, reply);
    QFETCH(QByteArray, out);
    AnswerServer broker([&reply](const QByteArray&) { return reply; });
    const RunResult run =
        runCli({"--broker", broker.address(), "--id", "1", "--timeout", "2000", "VER"});
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.out, out);
}

void CliSendTest::ctrlCCancelsTheWait() {
    AnswerServer silent([](const QByteArray&) { return QByteArray(); });
    const RunResult run = runCli({"--tcp", silent.address(), "--timeout", "20000", "VER"}, 500);
    QCOMPARE(run.exitCode, 130);
    QVERIFY2(run.ms < 3000, qPrintable(QString::number(run.ms)));
    QVERIFY(run.err.contains("Отменено пользователем."));
}

void CliSendTest::droppedConnectionEndsTheWaitAtOnce() {
    AnswerServer closing([](const QByteArray&) { return QByteArray("<close>"); });
    const RunResult run = runCli({"--tcp", closing.address(), "--timeout", "20000", "VER", "X"});
    QCOMPARE(run.exitCode, 75);
    QCOMPARE(closing.received, QByteArray("VER"));
    QVERIFY2(run.ms < 3000, qPrintable(QString::number(run.ms)));
}

void CliSendTest::missingConnectionIsAUsageError() {
    const RunResult run = runCli({"VER"});
    QCOMPARE(run.exitCode, 64);
    QVERIFY(run.err.contains("--serial, --tcp or --broker"));
}

void CliSendTest::ipv6AddressesInBrackets_data() {
    QTest::addColumn<QString>("link");
    QTest::newRow("tcp") << QStringLiteral("--tcp");
    QTest::newRow("broker") << QStringLiteral("--broker");
}

// The peer listens on the IPv6 loopback alone: only an address read as ::1 reaches it.
void CliSendTest::ipv6AddressesInBrackets() {
    QFETCH(QString, link);
    const bool broker = link == QStringLiteral("--broker");
    AnswerServer peer(
        [broker](const QByteArray& in) {
            const auto request = BrokerFrame::decode(in);
            return broker && request ? BrokerFrame::encode({0x41, request->hardwareId, "OK"})
                                     : QByteArray("OK");
        },
        QHostAddress::LocalHostIPv6);
    if (!peer.address().startsWith(QLatin1Char('['))) {
        QSKIP("no IPv6 loopback here");
    }
    QStringList arguments{link, peer.address(), "--timeout", "2000", "VER"};
    if (broker) {
        arguments << "--id"
                  << "1";
    }
    const RunResult run = runCli(arguments);
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    QCOMPARE(run.out, QByteArray("OK"));
}

QTEST_GUILESS_MAIN(CliSendTest)
// The version query runs through the same lifecycle as the operations: the same outcome words
// and exit codes for the same causes, and a journal entry from the one mapping.
void CliSendTest::versionQueryEndsAsEveryOperation_data() {
    QTest::addColumn<bool>("broker");
    QTest::addColumn<QByteArray>("answer"); // empty: silence; "<none>": the broker lacks the id
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("outcome");
    QTest::addColumn<QString>("journal");
    QTest::newRow("tcp, answered") << false << QByteArray("VER 3.14 LUMET52\r\n") << 0 << "success"
                                   << "Версия контроллера: VER 3.14 LUMET52";
    QTest::newRow("broker, answered")
        << true << QByteArray("VER 3.14 LUMET52\r\n") << 0 << "success"
        << "Версия контроллера: VER 3.14 LUMET52";
    QTest::newRow("refused") << false << QByteArray("ERR 2\r\n") << 76 << "refused"
                             << "Запрос версии не выполнен - ERR 2";
    QTest::newRow("silent") << false << QByteArray() << 75 << "no-answer"
                            << "Запрос версии не выполнен - нет ответа от устройства";
    QTest::newRow("broker lacks the id") << true << QByteArray("<none>") << 69 << "not-found"
                                         << "контроллер ID 7 не найден брокером";
}

void CliSendTest::versionQueryEndsAsEveryOperation() {
    QFETCH(bool, broker);
    QFETCH(QByteArray, answer);
    QFETCH(int, exitCode);
    QFETCH(QString, outcome);
    QFETCH(QString, journal);
    AnswerServer server([&](const QByteArray& in) {
        if (!broker) {
            return answer;
        }
        const auto request = BrokerFrame::decode(in);
        if (answer == "<none>") {
            return BrokerFrame::encode({0xC1, 7, QByteArray()});
        }
        return request && !answer.isEmpty() ? BrokerFrame::encode({0x41, 7, answer}) : QByteArray();
    });
    const QStringList link = broker ? QStringList{"--broker", server.address(), "--id", "7"}
                                    : QStringList{"--tcp", server.address()};
    QString entries;
    const RunResult run = runCli(link + QStringList{"--timeout", "300", "--json"}, -1,
                                 QStringLiteral("version"), &entries);
    QCOMPARE(run.exitCode, exitCode);
    QVERIFY2(run.out.contains(("\"outcome\":\"" + outcome + "\"").toUtf8()), run.out.constData());
    QVERIFY2(entries.contains(journal), qPrintable(entries));
}

#include "tst_cli_send.moc"
