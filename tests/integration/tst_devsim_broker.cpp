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

QTEST_GUILESS_MAIN(DevsimBrokerTest)
#include "tst_devsim_broker.moc"
