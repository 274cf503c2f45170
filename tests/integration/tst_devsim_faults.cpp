// velkor-devsim's fault options seen from a scripted TCP client, and its command line: the
// help text, bad options and a port that is taken.
#include "CliRun.h"
#include "DevsimProcess.h"

#include <QElapsedTimer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

namespace {

struct Client {
    QTcpSocket socket;

    explicit Client(quint16 port) {
        socket.connectToHost(QHostAddress::LocalHost, port);
        socket.waitForConnected(3000);
        readUntil(socket,
                  [](const QByteArray& b) { return b.contains("BIOS:") && b.endsWith("\r\n"); });
    }
    void send(const QByteArray& bytes) {
        socket.readAll();
        socket.write(bytes);
        socket.flush();
    }
    // Sends a command and returns its answer line (empty when none comes within 400 ms).
    QByteArray answer(const QByteArray& command) {
        send(command);
        return readUntil(
            socket, [](const QByteArray& b) { return b.endsWith("\r\n"); }, 400);
    }
};

QList<bool> answeredPattern(const QStringList& options, int commands) {
    DevsimProcess sim(QStringList{"--tcp", "0"} + options);
    Client client(sim.tcpPort());
    QList<bool> answered;
    for (int i = 0; i < commands; ++i) {
        answered.append(!client.answer("PAGEADDR 4").isEmpty());
    }
    return answered;
}

// velkor-devsim's command line, run to its end.
RunResult runDevsim(const QStringList& arguments) {
    CliRun devsim(arguments, QStringLiteral(VELKOR_DEVSIM_PATH));
    devsim.limitMs = 5000;
    return devsim.run();
}

} // namespace

class DevsimFaultsTest : public QObject {
    Q_OBJECT
private slots:
    void dropEveryNthAnswer();
    void dropRateIsRepeatableForASeed();
    void delayHoldsTheAnswerBack_data();
    void delayHoldsTheAnswerBack();
    void splitAnswerComesInPiecesWithGaps();
    void wrongCounterOnEveryNthPageWrite();
    void closeAfterWritesStoresTheLastWriteUnanswered();
    void garbageFollowsTheAnswer();
    void helpDocumentsEveryOption();
    void badOptionsExitWithUsageError_data();
    void badOptionsExitWithUsageError();
    void takenPortExitsUnavailable();
    void unusableFilesExitWithIoError_data();
    void unusableFilesExitWithIoError();
};

void DevsimFaultsTest::dropEveryNthAnswer() {
    QCOMPARE(answeredPattern({"--drop-every", "3"}, 6),
             (QList<bool>{true, true, false, true, true, false}));
}

void DevsimFaultsTest::dropRateIsRepeatableForASeed() {
    const QList<bool> first = answeredPattern({"--drop-rate", "0.5", "--seed", "11"}, 8);
    QCOMPARE(answeredPattern({"--drop-rate", "0.5", "--seed", "11"}, 8), first);
    QVERIFY(first.contains(true) && first.contains(false));
}

void DevsimFaultsTest::delayHoldsTheAnswerBack_data() {
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("atLeastMs");
    QTest::newRow("processing time") << QStringList{"--delay", "200"} << 180;
    // At 1200 baud a byte takes 8.3 ms: 11 bytes of command in, 12 of answer out, 192 ms.
    QTest::newRow("line paced at 1200 baud") << QStringList{"--pace", "1200"} << 185;
}

void DevsimFaultsTest::delayHoldsTheAnswerBack() {
    QFETCH(QStringList, options);
    QFETCH(int, atLeastMs);
    DevsimProcess sim(QStringList{"--tcp", "0"} + options);
    Client client(sim.tcpPort());
    QElapsedTimer clock;
    clock.start();
    client.send("PAGEADDR 4\r");
    const QByteArray answer =
        readUntil(client.socket, [](const QByteArray& b) { return b.endsWith("\r\n"); });
    QCOMPARE(answer, QByteArray("PAGEADDR=4\r\n"));
    QVERIFY2(clock.elapsed() >= atLeastMs && clock.elapsed() < atLeastMs + 400,
             qPrintable(QString::number(clock.elapsed())));
}

void DevsimFaultsTest::splitAnswerComesInPiecesWithGaps() {
    DevsimProcess sim({"--tcp", "0", "--split", "3", "--gap", "150"});
    Client client(sim.tcpPort());
    QElapsedTimer clock;
    clock.start();
    client.send("PAGEADDR 123");
    // The first piece comes alone; the last comes no sooner than two gaps after the command.
    // A reader held up by a loaded machine may find two pieces at once, never an early end.
    QList<QByteArray> pieces;
    while (pieces.join().size() < 14 && clock.elapsed() < 5000) {
        pieces.append(readUntil(client.socket, [](const QByteArray& b) { return !b.isEmpty(); }));
    }
    const qint64 took = clock.elapsed();
    QCOMPARE(pieces.join(), QByteArray("PAGEADDR=123\r\n"));
    QVERIFY2(pieces.size() >= 2, pieces.first().constData());
    QVERIFY2(took >= 2 * 150 - 15, qPrintable(QString::number(took)));
}

void DevsimFaultsTest::wrongCounterOnEveryNthPageWrite() {
    DevsimProcess sim({"--tcp", "0", "--wrong-counter-every", "2"});
    Client client(sim.tcpPort());
    QList<QByteArray> counters;
    for (int i = 0; i < 4; ++i) {
        const QByteArray answer = client.answer("PAGEWRITE x");
        counters.append(
            answer.mid(answer.indexOf("STR:"), answer.indexOf(' ', 3) - answer.indexOf("STR:")));
    }
    QCOMPARE(counters, (QList<QByteArray>{"STR:1", "STR:3", "STR:3", "STR:5"}));
    QVERIFY(client.answer("WRITECOUNTER").contains("=4"));
}

void DevsimFaultsTest::closeAfterWritesStoresTheLastWriteUnanswered() {
    DevsimProcess sim({"--tcp", "0", "--close-after-writes", "2"});
    {
        Client client(sim.tcpPort());
        client.answer("PAGENUM 90");
        QVERIFY(client.answer("PAGEWRITE ab").contains("STR:1"));
        client.send("PAGEWRITE cd");
        QVERIFY(client.socket.waitForDisconnected(3000) ||
                client.socket.state() == QAbstractSocket::UnconnectedState);
        QVERIFY(!client.socket.readAll().contains("STR:"));
    }
    Client again(sim.tcpPort());
    again.answer("PAGENUM 90");
    again.answer("PAGECOUNT 4");
    QCOMPARE(again.answer("PAGEREAD"), QByteArray("abcd\r\n"));
}

void DevsimFaultsTest::garbageFollowsTheAnswer() {
    DevsimProcess sim({"--tcp", "0", "--garbage-every", "1", "--seed", "3"});
    Client client(sim.tcpPort());
    client.send("PAGEADDR 4");
    const QByteArray answer = readQuiet(client.socket, 150);
    QVERIFY(answer.startsWith("PAGEADDR=4\r\n"));
    const QByteArray garbage = answer.mid(12);
    QVERIFY(garbage.size() >= 1 && garbage.size() <= 8);
    for (const char c : garbage) {
        QVERIFY2(!QChar::fromLatin1(c).isLetterOrNumber() && c != '@' && c != '.' && c != ':',
                 garbage.toHex().constData());
    }
}

void DevsimFaultsTest::helpDocumentsEveryOption() {
    const RunResult run = runDevsim({"--help"});
    QCOMPARE(run.exitCode, 0);
    for (const char* option : {"--tcp",
                               "--pty",
                               "--broker",
                               "--ids",
                               "--bind",
                               "--unit",
                               "--version-text",
                               "--password",
                               "--banner-interval",
                               "--reset-delay",
                               "--pages",
                               "--storage",
                               "--image-out",
                               "--idle-gap",
                               "--pace",
                               "--seed",
                               "--drop-every",
                               "--drop-rate",
                               "--delay",
                               "--jitter",
                               "--split",
                               "--gap",
                               "--wrong-counter-every",
                               "--close-after-writes",
                               "--garbage-every",
                               "--bad-crc-every",
                               "--split-frame-every",
                               "--frame-gap",
                               "--double-frame-every",
                               "--dialect",
                               "--progress-ms"}) {
        QVERIFY2(run.out.contains(QByteArray(option) + ' '), option);
    }
}

void DevsimFaultsTest::badOptionsExitWithUsageError_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("named");
    QTest::newRow("unknown") << QStringList{"--turbo"} << "--turbo";
    QTest::newRow("port text") << QStringList{"--tcp", "abc"} << "--tcp";
    QTest::newRow("ids") << QStringList{"--broker", "0", "--ids", "1,,2"} << "--ids";
    QTest::newRow("rate") << QStringList{"--drop-rate", "2"} << "--drop-rate";
    QTest::newRow("line speed") << QStringList{"--pace", "fast"} << "--pace";
    QTest::newRow("dialect") << QStringList{"--dialect", "crlf,loud"} << "loud";
    QTest::newRow("positional") << QStringList{"extra"} << "extra";
}

void DevsimFaultsTest::badOptionsExitWithUsageError() {
    QFETCH(QStringList, arguments);
    QFETCH(QString, named);
    const RunResult run = runDevsim(arguments);
    QCOMPARE(run.exitCode, 64);
    QVERIFY2(run.err.contains(named), qPrintable(run.err));
    QVERIFY(run.out.isEmpty());
}

void DevsimFaultsTest::takenPortExitsUnavailable() {
    QTcpServer taken;
    QVERIFY(taken.listen(QHostAddress::LocalHost));
    const RunResult run = runDevsim({"--tcp", QString::number(taken.serverPort())});
    QCOMPARE(run.exitCode, 69);
    QVERIFY2(run.err.contains(QString::number(taken.serverPort())), qPrintable(run.err));
}

void DevsimFaultsTest::unusableFilesExitWithIoError_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("image folder missing")
        << QStringList{"--tcp", "0", "--image-out", "/nonexistent/x"};
    QTest::newRow("broker image folder missing")
        << QStringList{"--broker", "0", "--image-out", "/nonexistent/x"};
    QTest::newRow("storage folder missing")
        << QStringList{"--tcp", "0", "--storage", "/nonexistent/s"};
}

void DevsimFaultsTest::unusableFilesExitWithIoError() {
    QFETCH(QStringList, arguments);
    const RunResult run = runDevsim(arguments);
    QCOMPARE(run.exitCode, 74);
    QVERIFY2(run.err.contains("/nonexistent/"), qPrintable(run.err));
    QVERIFY(!run.out.contains("ready"));
}

QTEST_GUILESS_MAIN(DevsimFaultsTest)
#include "tst_devsim_faults.moc"
