// velkor-devsim's broker, driven by a scripted client speaking frames: routing by hardware id,
// the not-found answer, frames split or joined by the client, several clients and controllers,
// and the frame faults.
#include "DevsimProcess.h"
#include "connections/BrokerFrame.h"

#include <QElapsedTimer>
#include <QTcpSocket>
#include <QTest>
#include <QThread>

namespace {

QByteArray frame(quint32 id, const QByteArray& payload) {
    return BrokerFrame::encode({0x41, id, payload});
}

// Cuts a byte stream into frames by their length fields (the stream must hold whole frames).
QList<QByteArray> cutFrames(const QByteArray& stream) {
    QList<QByteArray> frames;
    qsizetype at = 0;
    while (stream.size() - at >= 12) {
        const int size = BrokerFrame::lengthField(stream.constData() + at) + 12;
        if (stream.size() - at < size) {
            break;
        }
        frames.append(stream.mid(at, size));
        at += size;
    }
    return frames;
}

QByteArray payloads(const QList<QByteArray>& frames, quint32 expectedId) {
    QByteArray joined;
    for (const QByteArray& bytes : frames) {
        const auto decoded = BrokerFrame::decode(bytes);
        if (!decoded || decoded->hardwareId != expectedId || decoded->notFound()) {
            return "<bad frame " + bytes.toHex() + ">";
        }
        joined += decoded->payload;
    }
    return joined;
}

// Reads until the payloads from id hold `lines` line ends.
QByteArray answerLines(QTcpSocket& socket, quint32 id, int lines) {
    return payloads(cutFrames(readUntil(socket,
                                        [id, lines](const QByteArray& b) {
                                            return payloads(cutFrames(b), id).count('\n') >= lines;
                                        })),
                    id);
}

struct BrokerClient {
    QTcpSocket socket;

    bool connectTo(quint16 port) {
        socket.connectToHost(QHostAddress::LocalHost, port);
        return socket.waitForConnected(3000);
    }
    void send(const QByteArray& bytes) {
        socket.write(bytes);
        socket.flush();
    }
    // Sends one command to id and returns the payloads from id once they hold until.
    QByteArray exchange(quint32 id, const QByteArray& command, const QByteArray& until) {
        socket.readAll();
        send(frame(id, command));
        return payloads(cutFrames(readUntil(socket,
                                            [id, &until](const QByteArray& b) {
                                                return payloads(cutFrames(b), id).contains(until);
                                            })),
                        id);
    }
    // Sends one command to id and returns the payloads of the answer frames.
    QByteArray ask(quint32 id, const QByteArray& command) {
        socket.readAll();
        send(frame(id, command));
        const QByteArray stream = readUntil(socket, [id](const QByteArray& b) {
            return payloads(cutFrames(b), id).endsWith("\r\n");
        });
        return payloads(cutFrames(stream), id);
    }
};

} // namespace

class DevsimBrokerTest : public QObject {
    Q_OBJECT
private slots:
    void framesReachTheControllerOfTheirId();
    void unknownIdGetsTheNotFoundFrame();
    void framesSplitOrJoinedByTheClientAreAllTaken();
    void damagedFrameIsSkippedAndTheNextOneTaken();
    void clientsHearTheControllersTheyTalkTo();
    void badCrcFault();
    void splitFrameFault();
    void doubleFrameFault();
    void idRangesAndListsNameTheControllers();
    void refusingControllersRefuseEveryWrite();
    void badIdListsAreRefused_data();
    void badIdListsAreRefused();
};

void DevsimBrokerTest::framesReachTheControllerOfTheirId() {
    DevsimProcess sim({"--broker", "0", "--ids", "1,2,7", "--version-text", "3.5"});
    QVERIFY(sim.isReady());
    BrokerClient client;
    QVERIFY(client.connectTo(sim.brokerPort()));
    // "VER" for id 1 as the loader writes it.
    client.send(QByteArray::fromHex("01410100000003000300564552DD17"));
    const QByteArray stream = readUntil(client.socket, [](const QByteArray& b) {
        return payloads(cutFrames(b), 1).endsWith("\r\n");
    });
    const QList<QByteArray> frames = cutFrames(stream);
    QVERIFY(!frames.isEmpty());
    QVERIFY(frames[0].startsWith(QByteArray::fromHex("014101000000")));
    QVERIFY(payloads(frames, 1).contains("VER 3.5"));

    // Each id has its own storage memory.
    client.ask(7, "PAGENUM 80");
    QVERIFY(client.ask(7, "PAGEWRITE seven").contains("STR:1"));
    client.ask(2, "PAGENUM 80");
    client.ask(2, "PAGECOUNT 5");
    QCOMPARE(client.ask(2, "PAGEREAD"), QByteArray("\xFF\xFF\xFF\xFF\xFF\r\n"));
    client.ask(7, "PAGEADDR 0");
    client.ask(7, "PAGECOUNT 5");
    QCOMPARE(client.ask(7, "PAGEREAD"), QByteArray("seven\r\n"));
}

void DevsimBrokerTest::unknownIdGetsTheNotFoundFrame() {
    DevsimProcess sim({"--broker", "0", "--ids", "1,2,7"});
    QVERIFY(sim.isReady());
    BrokerClient client;
    QVERIFY(client.connectTo(sim.brokerPort()));
    client.send(frame(3, "VER"));
    const QByteArray reply =
        readUntil(client.socket, [](const QByteArray& b) { return b.size() >= 12; });
    QCOMPARE(reply, QByteArray::fromHex("01C103000000000003003CB2"));
    QVERIFY(readQuiet(client.socket, 100).isEmpty());
}

void DevsimBrokerTest::framesSplitOrJoinedByTheClientAreAllTaken() {
    DevsimProcess sim({"--broker", "0", "--ids", "5"});
    QVERIFY(sim.isReady());
    BrokerClient client;
    QVERIFY(client.connectTo(sim.brokerPort()));
    const QByteArray bytes = frame(5, "PAGEADDR 17");
    client.send(bytes.left(4));
    QThread::msleep(30);
    client.send(bytes.mid(4));
    QCOMPARE(answerLines(client.socket, 5, 1), QByteArray("PAGEADDR=17\r\n"));
    client.send(frame(5, "PAGEADDR 18") + frame(5, "PAGEADDR 19"));
    QCOMPARE(answerLines(client.socket, 5, 2), QByteArray("PAGEADDR=18\r\nPAGEADDR=19\r\n"));
}

void DevsimBrokerTest::damagedFrameIsSkippedAndTheNextOneTaken() {
    DevsimProcess sim({"--broker", "0", "--ids", "5"});
    QVERIFY(sim.isReady());
    BrokerClient client;
    QVERIFY(client.connectTo(sim.brokerPort()));
    QByteArray damaged = frame(5, "PAGEADDR 1");
    damaged[damaged.size() - 1] = char(damaged.back() ^ 1);
    client.send("noise" + damaged + frame(5, "PAGEADDR 2"));
    QCOMPARE(answerLines(client.socket, 5, 1), QByteArray("PAGEADDR=2\r\n"));
}

void DevsimBrokerTest::clientsHearTheControllersTheyTalkTo() {
    DevsimProcess sim({"--broker", "0", "--ids", "1,2", "--banner-interval", "50"});
    QVERIFY(sim.isReady());
    BrokerClient one;
    BrokerClient two;
    QVERIFY(one.connectTo(sim.brokerPort()));
    QVERIFY(two.connectTo(sim.brokerPort()));
    QVERIFY(readQuiet(one.socket, 120).isEmpty()); // no frame sent yet: nothing heard
    QVERIFY(one.ask(1, "PAGEHEXMODE TRUE").contains("TRUE"));
    QVERIFY(two.ask(2, "PAGEHEXMODE").contains("FALSE"));
    // A restart of controller 2 shows its banner to client two only.
    two.send(frame(2, "RESET"));
    const QByteArray banner = payloads(
        cutFrames(readUntil(two.socket, [](const QByteArray& b) { return b.contains("BIOS:"); })),
        2);
    QVERIFY2(banner.contains("UNIT:"), banner.constData());
    QVERIFY(readQuiet(one.socket, 120).isEmpty());
    // Both clients talking to controller 1 hear its answers.
    QVERIFY(two.ask(1, "PAGEADDR 3").contains("PAGEADDR=3"));
    QCOMPARE(answerLines(one.socket, 1, 1), QByteArray("PAGEADDR=3\r\n"));
}

void DevsimBrokerTest::badCrcFault() {
    DevsimProcess sim({"--broker", "0", "--ids", "1", "--bad-crc-every", "2"});
    QVERIFY(sim.isReady());
    BrokerClient client;
    QVERIFY(client.connectTo(sim.brokerPort()));
    QList<bool> sound;
    for (int i = 0; i < 4; ++i) {
        client.send(frame(1, "PAGEADDR 1"));
        const QList<QByteArray> frames = cutFrames(
            readUntil(client.socket, [](const QByteArray& b) { return !cutFrames(b).isEmpty(); }));
        QCOMPARE(frames.size(), 1);
        sound.append(BrokerFrame::decode(frames[0]).has_value());
    }
    QCOMPARE(sound, (QList<bool>{true, false, true, false}));
}

void DevsimBrokerTest::splitFrameFault() {
    DevsimProcess sim(
        {"--broker", "0", "--ids", "1", "--split-frame-every", "1", "--frame-gap", "250"});
    QVERIFY(sim.isReady());
    BrokerClient client;
    QVERIFY(client.connectTo(sim.brokerPort()));
    client.send(frame(1, "PAGEADDR 9"));
    const QByteArray first =
        readUntil(client.socket, [](const QByteArray& b) { return !b.isEmpty(); });
    QElapsedTimer clock;
    clock.start();
    const QByteArray rest =
        readUntil(client.socket, [](const QByteArray& b) { return !b.isEmpty(); });
    QVERIFY2(clock.elapsed() >= 150, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(!BrokerFrame::decode(first).has_value());
    QCOMPARE(payloads({first + rest}, 1), QByteArray("PAGEADDR=9\r\n"));
}

void DevsimBrokerTest::doubleFrameFault() {
    DevsimProcess sim({"--broker", "0", "--ids", "1", "--double-frame-every", "1"});
    QVERIFY(sim.isReady());
    BrokerClient client;
    QVERIFY(client.connectTo(sim.brokerPort()));
    client.send(frame(1, "PAGEADDR 9"));
    const QList<QByteArray> frames = cutFrames(
        readUntil(client.socket, [](const QByteArray& b) { return cutFrames(b).size() >= 2; }));
    QCOMPARE(frames.size(), 2);
    QCOMPARE(payloads(frames, 1), QByteArray("PAGEADDR=9\r\n"));
}

void DevsimBrokerTest::idRangesAndListsNameTheControllers() {
    DevsimProcess sim({"--broker", "0", "--ids", "1-3,7,10-12"});
    QVERIFY(sim.isReady());
    BrokerClient client;
    QVERIFY(client.connectTo(sim.brokerPort()));
    for (const quint32 id : {1U, 3U, 7U, 10U, 12U}) {
        QVERIFY2(client.ask(id, "VER").contains("VER 3.14"), qPrintable(QString::number(id)));
    }
    for (const quint32 id : {4U, 9U, 13U}) {
        client.socket.readAll();
        client.send(frame(id, "VER"));
        const QByteArray reply =
            readUntil(client.socket, [](const QByteArray& b) { return b.size() >= 12; });
        const auto decoded = BrokerFrame::decode(reply);
        QVERIFY2(decoded && decoded->notFound() && decoded->hardwareId == id,
                 qPrintable(QString::number(id)));
    }
}

// --refuse-ids: a flash to those controllers fails at its first record line, a storage write is
// refused and stores nothing; the other controllers take both.
void DevsimBrokerTest::refusingControllersRefuseEveryWrite() {
    DevsimProcess sim({"--broker", "0", "--ids", "1-3", "--refuse-ids", "2-3", "--reset-delay", "0",
                       "--banner-interval", "100"});
    QVERIFY(sim.isReady());
    BrokerClient client;
    QVERIFY(client.connectTo(sim.brokerPort()));
    QVERIFY(client.ask(1, "PAGEWRITE one").startsWith("OK STR:1"));
    QCOMPARE(client.ask(3, "PAGEWRITE three"), QByteArray("ERR injected\r\n"));
    client.ask(3, "PAGEADDR 0");
    client.ask(3, "PAGECOUNT 5");
    QCOMPARE(client.ask(3, "PAGEREAD"), QByteArray("\xFF\xFF\xFF\xFF\xFF\r\n"));

    const QByteArray header = "S00600004844521B";
    for (const quint32 id : {1U, 2U}) {
        QVERIFY(client.exchange(id, "RESET", "BIOS: v2.07").contains("BIOS: v2.07"));
        QVERIFY(client.exchange(id, "i", "BIOS>").contains("BIOS>"));
        QVERIFY(client.exchange(id, "f", "f ready\r\n").contains("f ready\r\n"));
    }
    QCOMPARE(client.exchange(1, header, "w"), QByteArray("w"));
    QCOMPARE(client.exchange(2, header, "\r\n"), QByteArray("ERR injected\r\n"));
    QCOMPARE(client.exchange(2, "S9030000FC", "\r\n"), QByteArray("ERR injected\r\n"));
}

void DevsimBrokerTest::badIdListsAreRefused_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("problem");
    QTest::newRow("backwards range") << QStringList{"--broker", "0", "--ids", "10-1"}
                                     << QString("the range \"10-1\" runs backwards");
    QTest::newRow("too many ids") << QStringList{"--broker", "0", "--ids", "1-100001"}
                                  << QString("more than 100000 ids");
    QTest::newRow("not an id") << QStringList{"--broker", "0", "--ids", "1-5,x"}
                               << QString("\"x\" is not a hardware id");
    QTest::newRow("refusing an id without a controller")
        << QStringList{"--broker", "0", "--ids", "1-3", "--refuse-ids", "3,9"}
        << QString("--refuse-ids: 9 is not one of the controllers");
    QTest::newRow("refusing without the broker")
        << QStringList{"--tcp", "0", "--refuse-ids", "1"} << QString("it needs --broker");
}

void DevsimBrokerTest::badIdListsAreRefused() {
    QFETCH(QStringList, arguments);
    QFETCH(QString, problem);
    DevsimProcess sim(arguments);
    QVERIFY(!sim.isReady());
    const QString error = sim.errorOutput();
    QVERIFY2(error.contains(problem), qPrintable(error));
}

QTEST_GUILESS_MAIN(DevsimBrokerTest)
#include "tst_devsim_broker.moc"
