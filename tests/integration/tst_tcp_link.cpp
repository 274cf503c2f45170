// The TCP layer and the TCP and broker connections over real sockets on loopback: connecting,
// a refused connect, a peer that closes during a wait, writes while not connected, and broker
// frames split, joined, damaged or oversized by a real server.
#include "RealConnectionsRig.h"
#include "connections/BrokerFrame.h"
#include "connections/TcpClient.h"

#include <QElapsedTimer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

namespace {

// A server on loopback that records what it receives and answers each receipt with scripted
// writes, each after its own delay.
class ScriptedServer : public QObject {
public:
    struct Write {
        int delayMs;
        QByteArray bytes; // empty: close the connection
    };

    ScriptedServer() {
        server.listen(QHostAddress::LocalHost);
        connect(&server, &QTcpServer::newConnection, this, [this] {
            peer = server.nextPendingConnection();
            connect(peer, &QTcpSocket::readyRead, this, [this] {
                received += peer->readAll();
                for (const Write& w : script) {
                    QTimer::singleShot(w.delayMs, this, [this, w] { send(w.bytes); });
                }
            });
        });
    }
    QString port() const { return QString::number(server.serverPort()); }
    void send(const QByteArray& bytes) {
        if (!peer) {
            return;
        }
        if (bytes.isEmpty()) {
            peer->close();
            return;
        }
        peer->write(bytes);
        peer->flush();
    }

    QTcpServer server;
    QTcpSocket* peer = nullptr;
    QByteArray received;
    QList<Write> script;
};

QByteArray frame(const QByteArray& payload, std::uint8_t code = 0x41) {
    return BrokerFrame::encode({code, 1, payload});
}

} // namespace

class TcpLinkTest : public QObject {
    Q_OBJECT
private slots:
    void eventsComeFromTheEventLoopNeverFromActivate();
    void clientMayBeDestroyedInsideItsOwnEvent();
    void activateRefusesEmptyHostOrPort_data();
    void activateRefusesEmptyHostOrPort();
    void connectsWithLowDelayAndExchanges();
    void refusedConnectEndsWellBeforeTenSeconds();
    void peerCloseDuringAWaitClosesTheConnection();
    void brokerFramesOverARealStream_data();
    void brokerFramesOverARealStream();
    void brokerNotFoundEndsTheOperationUnlessWaiting_data();
    void brokerNotFoundEndsTheOperationUnlessWaiting();
};

void TcpLinkTest::eventsComeFromTheEventLoopNeverFromActivate() {
    ScriptedServer server;
    TcpClient client(QStringLiteral("127.0.0.1"), server.port());
    QStringList events;
    client.onConnected = [&] { events << "connected"; };
    client.onClose = [&] { events << "close"; };
    client.onConnectFailed = [&] { events << "failed"; };
    client.onDataAvailable = [&] { events << "data:" + QString::fromLatin1(client.readAll()); };
    client.activate();
    QVERIFY(events.isEmpty());
    QTRY_COMPARE_WITH_TIMEOUT(events, QStringList({"connected"}), 2000);
    QVERIFY(client.lowDelay());
    const KeepAlive::Settings keepAlive = client.keepAlive();
    QVERIFY(keepAlive.enabled);
#ifdef Q_OS_LINUX
    // A dead link is given up within a minute.
    QCOMPARE(keepAlive.idleSeconds + keepAlive.probes * keepAlive.intervalSeconds, 40);
    QCOMPARE(keepAlive.giveUpMs, 45000);
#endif
    QVERIFY(!client.localPort().isEmpty());
    server.send("hi");
    QTRY_COMPARE_WITH_TIMEOUT(events.size(), 2, 2000);
    QCOMPARE(events.last(), QStringLiteral("data:hi"));
    client.deactivate(); // nothing queued: the close event runs inside the call
    QCOMPARE(events.last(), QStringLiteral("close"));
    QVERIFY(!client.isActive());
    QTest::qWait(50);
    QCOMPARE(events.size(), 3);
}

void TcpLinkTest::clientMayBeDestroyedInsideItsOwnEvent() {
    ScriptedServer server;
    server.script = {{0, "bye"}};
    auto client = std::make_unique<TcpClient>(QStringLiteral("127.0.0.1"), server.port());
    int events = 0;
    client->onConnected = [&] { client->write("hi"); };
    client->onDataAvailable = [&] {
        ++events;
        server.send("more");
        server.send(QByteArray()); // queued behind: more data, then the close
        client.reset();
    };
    client->onClose = [&] { ++events; };
    client->activate();
    QTRY_VERIFY_WITH_TIMEOUT(!client, 2000);
    QTest::qWait(100);
    QCOMPARE(events, 1);
}

void TcpLinkTest::activateRefusesEmptyHostOrPort_data() {
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("error");
    QTest::newRow("host") << ""
                          << "10001"
                          << "Host not set";
    QTest::newRow("port") << "127.0.0.1"
                          << ""
                          << "Port not set";
}

void TcpLinkTest::activateRefusesEmptyHostOrPort() {
    QFETCH(QString, host);
    QFETCH(QString, port);
    QFETCH(QString, error);
    TcpClient client(host, port);
    try {
        client.activate();
        QFAIL("activate accepted an empty text");
    } catch (const LoaderError& e) {
        QCOMPARE(e.text(), error);
    }
    QVERIFY(!client.isActive());
}

void TcpLinkTest::connectsWithLowDelayAndExchanges() {
    ScriptedServer server;
    server.script = {{5, "OK\r\n"}};
    RealConnectionsRig rig;
    rig.useKind(LinkKind::Tcp);
    rig.form.IPEdit.text = "127.0.0.1";
    rig.form.PortNum.text = server.port();
    bool answered = false;
    QElapsedTimer clock;
    qint64 exchangeMs = 0;
    rig.operation([&] {
        clock.start();
        answered = rig.loader.exchange.SendCommand("VER\r");
        exchangeMs = clock.elapsed();
    });
    QVERIFY(answered);
    QCOMPARE(rig.loader.state.AnswerBuffer, QByteArray("OK\r\n"));
    QCOMPARE(server.received, QByteArray("VER\r"));
    QVERIFY(rig.loader.state.ConnectionOpen);
    auto* client = dynamic_cast<TcpClient*>(rig.tcpClient);
    QVERIFY(client != nullptr && client->lowDelay());
    QCOMPARE(rig.loader.output.status(2), ":" + client->localPort() + " открыт");
    QVERIFY2(exchangeMs < 200, qPrintable(QString::number(exchangeMs)));
    qInfo("one exchange over loopback with a 5 ms answer delay: %lld ms", exchangeMs);
}

void TcpLinkTest::refusedConnectEndsWellBeforeTenSeconds() {
    QString port;
    {
        QTcpServer closed;
        closed.listen(QHostAddress::LocalHost);
        port = QString::number(closed.serverPort());
    }
    RealConnectionsRig rig;
    rig.useKind(LinkKind::Tcp);
    rig.form.IPEdit.text = "127.0.0.1";
    rig.form.PortNum.text = port;
    QElapsedTimer clock;
    clock.start();
    rig.operation([] { QFAIL("the procedure ran without a connection"); });
    QVERIFY2(clock.elapsed() < 2000, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(rig.loader.output.status(3), QStringLiteral("порт не доступен. Возможно он занят!"));
    QCOMPARE(rig.loader.output.status(2),
             QStringLiteral("Нет соединения с 127.0.0.1:") + port +
                 QStringLiteral(": в соединении отказано (по этому адресу и порту никто не "
                                "принимает соединений)"));
    QVERIFY(!rig.loader.state.ConnectionOpen);
}

void TcpLinkTest::peerCloseDuringAWaitClosesTheConnection() {
    ScriptedServer server;
    server.script = {{50, QByteArray()}};
    RealConnectionsRig rig;
    rig.useKind(LinkKind::Tcp);
    rig.form.IPEdit.text = "127.0.0.1";
    rig.form.PortNum.text = server.port();
    rig.loader.setAnswerTimeout(400);
    bool closedDuringWait = false;
    bool secondAnswered = true;
    rig.operation([&] {
        rig.loader.exchange.SendCommand("VER\r");
        closedDuringWait = !rig.loader.state.ConnectionOpen && !rig.loader.Timer3->enabled();
        // Written while not connected: nothing is sent, the wait runs out.
        secondAnswered = rig.loader.exchange.SendCommand("AGAIN\r");
    });
    QVERIFY(closedDuringWait);
    QVERIFY(!secondAnswered);
    QCOMPARE(server.received, QByteArray("VER\r"));
    QVERIFY(rig.loader.output.status(2).endsWith(" закрыт"));
    QVERIFY(!rig.loader.terminal.sendPanelVisible);
}

void TcpLinkTest::brokerFramesOverARealStream_data() {
    QTest::addColumn<QList<ScriptedServer::Write>>("script");
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<QString>("status");
    const QByteArray a = frame("3.14");
    const QByteArray damaged = QByteArray(a).replace("3.14", "3.15");
    QTest::newRow("one frame") << QList<ScriptedServer::Write>{{5, a}} << QByteArray("3.14")
                               << "Ответ получен [4 байт]";
    QTest::newRow("split over two writes")
        << QList<ScriptedServer::Write>{{5, a.left(7)}, {20, a.mid(7)}} << QByteArray("3.14")
        << "Ответ получен [4 байт]";
    QTest::newRow("two frames in one write") << QList<ScriptedServer::Write>{{5, a + frame("!")}}
                                             << QByteArray("3.14!") << "Ответ получен [1 байт]";
    QTest::newRow("empty payload")
        << QList<ScriptedServer::Write>{{5, frame("")}} << QByteArray() << "Ответ получен [0 байт]";
    // A damaged frame is cut once what follows shows that no frame starts inside it.
    QTest::newRow("crc failure") << QList<ScriptedServer::Write>{{5, damaged}, {30, frame("!")}}
                                 << "!" + damaged + "bad CRC"
                                 << "Ошибка CRC пакета [16 байт]";
    // A broker is free in the lead byte, the code and bytes 8 and 9.
    QByteArray foreign = frame("3.14");
    foreign[0] = char(0x02);
    foreign[8] = char(0xFF);
    foreign[9] = char(0x10);
    BrokerFrame::AppendCrc16(foreign.data(), int(foreign.size()) - 2);
    QTest::newRow("another controller's banner first")
        << QList<ScriptedServer::Write>{{5, BrokerFrame::encode({0x41, 2, "UNIT:OTHER"})}, {10, a}}
        << QByteArray("3.14") << "Ответ получен [4 байт]";
    QTest::newRow("other header bytes") << QList<ScriptedServer::Write>{{5, foreign}}
                                        << QByteArray("3.14") << "Ответ получен [4 байт]";
    QTest::newRow("oversize chunk") << QList<ScriptedServer::Write>{{5, QByteArray(6000, 'z') + a}}
                                    << QByteArray("3.14") << "Ответ получен [4 байт]";
}

void TcpLinkTest::brokerFramesOverARealStream() {
    QFETCH(QList<ScriptedServer::Write>, script);
    QFETCH(QByteArray, answer);
    QFETCH(QString, status);
    ScriptedServer server;
    server.script = script;
    RealConnectionsRig rig;
    rig.useKind(LinkKind::Broker);
    rig.form.BrokerIPEdt.text = "127.0.0.1";
    rig.form.BrokerPortEdt.text = server.port();
    rig.form.HARDWARE_IDEdt.text = "1";
    rig.loader.setAnswerTimeout(400);
    QByteArray buffer;
    rig.operation([&] {
        rig.loader.exchange.SendCommand("VER");
        rig.pump(50); // a frame after the answer completed still arrives
        // Damaged frames are kept apart from the answer; bytes that are no frame are noise.
        buffer = rig.loader.state.AnswerBuffer + rig.loader.state.DamagedText;
    });
    QCOMPARE(server.received, QByteArray::fromHex("01410100000003000300564552DD17"));
    QCOMPARE(buffer, answer);
    QVERIFY2(rig.status3.contains(status), qPrintable(rig.status3.join('|')));
}

void TcpLinkTest::brokerNotFoundEndsTheOperationUnlessWaiting_data() {
    QTest::addColumn<bool>("wait");
    QTest::newRow("box") << false;
    QTest::newRow("wait") << true;
}

void TcpLinkTest::brokerNotFoundEndsTheOperationUnlessWaiting() {
    QFETCH(bool, wait);
    ScriptedServer server;
    server.script = {{5, frame("", 0xC1)}};
    RealConnectionsRig rig;
    rig.useKind(LinkKind::Broker);
    rig.form.BrokerIPEdt.text = "127.0.0.1";
    rig.form.BrokerPortEdt.text = server.port();
    rig.form.cbWaitConnectLUMET.checked = wait;
    rig.loader.setAnswerTimeout(300);
    rig.loader.state.AttemptLimit = 3;
    QElapsedTimer clock;
    qint64 took = 0;
    rig.operation([&] {
        clock.start();
        rig.loader.exchange.SendCommand("VER");
        took = clock.elapsed();
    });
    QCOMPARE(rig.dialogs.calls.size(), wait ? 0 : 1);
    // Waiting, the command is repeated (three attempts of 300 ms); otherwise the box ends it.
    QCOMPARE(server.received.size(), wait ? 45 : 15);
    QVERIFY2(wait ? took >= 850 : took < 250, qPrintable(QString::number(took)));
}

QTEST_GUILESS_MAIN(TcpLinkTest)
#include "tst_tcp_link.moc"
