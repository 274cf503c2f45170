// The connection handlers over fake layers in virtual time: the port list, the open steps of
// the three kinds with their status texts and waits, and the received-data routing rule.
#include "ConnectionsRig.h"
#include "app/SerialPortList.h"
#include "connections/BrokerFrame.h"
#include "connections/LinkRegistry.h"

#include <QTest>
#include <cerrno>

class ConnectionsTest : public QObject {
    Q_OBJECT
private slots:
    void routingRuleMakesOneLineOutsideAndALinePerReceptionInside_data();
    void routingRuleMakesOneLineOutsideAndALinePerReceptionInside();
    void peerThatNeverPausesIsBounded_data();
    void peerThatNeverPausesIsBounded();
    void emptySerialReadChangesNothing();
    void portListFollowsTheCheckBox_data();
    void portListFollowsTheCheckBox();
    void serialOpenShowsItsStepsAndTakesHalfASecond();
    void typedDevicePathIsOpenedAsTyped();
    void serialOpenFailures_data();
    void serialOpenFailures();
    void refusedPermissionSaysWhichGroupGrantsIt();
    void tcpOpenOutcomes_data();
    void tcpOpenOutcomes();
    void cancelEndsTheConnectWaitAtOnce();
    void peerCloseRunsTheCloseHandler();
    void tcpWriteIsDroppedWhileNotConnected();
    void dataAvailableCountsInTheCaptionAndTraces();
    void everyKindHasALink();
};

namespace {

void deliver(ConnectionsRig& rig, LinkKind kind, const QByteArray& bytes, std::uint64_t delayMs) {
    if (kind == LinkKind::Serial) {
        rig.fakes.serial->receive(bytes, delayMs);
    } else {
        rig.fakes.tcp->receive(bytes, delayMs);
    }
}

} // namespace

void ConnectionsTest::routingRuleMakesOneLineOutsideAndALinePerReceptionInside_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<bool>("inOperation");
    QTest::newRow("serial, no operation") << int(LinkKind::Serial) << false;
    QTest::newRow("serial, operation") << int(LinkKind::Serial) << true;
    QTest::newRow("tcp, no operation") << int(LinkKind::Tcp) << false;
    QTest::newRow("tcp, operation") << int(LinkKind::Tcp) << true;
}

void ConnectionsTest::routingRuleMakesOneLineOutsideAndALinePerReceptionInside() {
    QFETCH(int, kind);
    QFETCH(bool, inOperation);
    ConnectionsRig rig;
    rig.useKind(LinkKind(kind));
    auto threePieces = [&] {
        deliver(rig, LinkKind(kind), "AB", 5);
        deliver(rig, LinkKind(kind), "CD", 25);
        deliver(rig, LinkKind(kind), "EF", 45);
    };
    if (inOperation) {
        bool answered = false;
        rig.operation([&] {
            threePieces();
            answered = rig.loader.exchange.SendCommand("VER\r");
        });
        QVERIFY(answered);
        QCOMPARE(rig.loader.state.AnswerBuffer, QByteArray("ABCDEF"));
        QCOMPARE(rig.loader.terminal.lines, QList<QByteArray>({"VER\r", "AB", "CD", "EF"}));
    } else {
        rig.openConnection();
        rig.runtime.runFor(50);
        QVERIFY(rig.loader.state.ConnectionOpen);
        threePieces();
        rig.runtime.runFor(300);
        QVERIFY(rig.loader.state.AnswerBuffer.isEmpty());
        QCOMPARE(rig.loader.terminal.lines, QList<QByteArray>({"ABCDEF"}));
    }
}

void ConnectionsTest::peerThatNeverPausesIsBounded_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<QByteArray>("chunk"); // sent every millisecond
    QTest::addColumn<bool>("inOperation");
    QTest::addColumn<bool>("overflows"); // else the wait runs its full 2000 ms
    const QByteArray text(64 * 1024, 'U');
    const QByteArray ours = BrokerFrame::encode({0x41, 1, QByteArray(4000, 'U')});
    const QByteArray others = BrokerFrame::encode({0x41, 2, QByteArray(4000, 'U')});
    QTest::newRow("tcp") << int(LinkKind::Tcp) << text << true << true;
    QTest::newRow("serial") << int(LinkKind::Serial) << QByteArray(8192, 'U') << true << true;
    // Bytes that are no frame never reach the answer: the wait runs out, memory stays bounded.
    QTest::newRow("broker, garbage") << int(LinkKind::Broker) << text << true << false;
    QTest::newRow("broker, frames") << int(LinkKind::Broker) << ours.repeated(16) << true << true;
    QTest::newRow("broker, another id")
        << int(LinkKind::Broker) << others.repeated(16) << true << false;
    QTest::newRow("tcp, a byte now and then")
        << int(LinkKind::Tcp) << QByteArray("U") << true << false;
    QTest::newRow("tcp, no operation") << int(LinkKind::Tcp) << text << false << false;
}

void ConnectionsTest::peerThatNeverPausesIsBounded() {
    QFETCH(int, kind);
    QFETCH(QByteArray, chunk);
    QFETCH(bool, inOperation);
    QFETCH(bool, overflows);
    ConnectionsRig rig;
    rig.useKind(LinkKind(kind));
    rig.loader.setAnswerTimeout(2000);
    rig.loader.state.AttemptLimit = 1;
    qsizetype largestAnswer = 0;
    auto flood = [&] {
        for (int at = 1; at <= 2500; ++at) {
            deliver(rig, LinkKind(kind), chunk, std::uint64_t(at));
            rig.runtime.post(std::uint64_t(at), [&] {
                largestAnswer = std::max(largestAnswer, rig.loader.state.AnswerBuffer.size());
            });
        }
    };
    std::uint64_t start = 0;
    bool answered = false;
    rig.operation([&] {
        start = rig.runtime.elapsed();
        if (inOperation) {
            flood();
            answered = rig.loader.exchange.SendCommand("VER\r");
        }
    });
    if (!inOperation) {
        rig.openConnection();
        flood();
        rig.runtime.runFor(2500);
    }
    const std::uint64_t took = rig.runtime.elapsed() - start;
    // A trickle is an answer, however slowly it comes; a flood or nothing is none.
    QCOMPARE(answered, chunk == QByteArray("U"));
    QCOMPARE(rig.loader.output.status(3).contains("без остановки"), overflows);
    QVERIFY2(overflows ? took < 1000 : took >= 2000, qPrintable(QString::number(took)));
    QVERIFY(largestAnswer <= ReceiveRouter::kAnswerLimit);
    QVERIFY(rig.loader.state.PendingTerminalText.size() < ReceiveRouter::kPendingLimit);
    // The memory the lines hold, not only their bytes: a small chunk read from a socket sits
    // in a block of the socket's read size.
    qsizetype terminalBytes = 0;
    for (const QByteArray& line : rig.loader.terminal.lines) {
        terminalBytes += std::max(line.size(), line.capacity());
    }
    QVERIFY(terminalBytes <= ScrollBack::kMaxBytes);
}

void ConnectionsTest::emptySerialReadChangesNothing() {
    ConnectionsRig rig;
    rig.openConnection();
    rig.loader.state.AnswerBuffer = "old";
    rig.loader.state.QuietTicks = 77;
    rig.fakes.serial->onRxChar(5); // nothing is queued
    QCOMPARE(rig.loader.state.QuietTicks, 77);
    rig.fakes.serial->readErrno = EIO;
    rig.fakes.serial->onRxChar(5);
    QCOMPARE(rig.status3.last(), QStringLiteral("ReadFile function failed (Error: 5)"));
    QCOMPARE(rig.loader.state.QuietTicks, 3); // the failed read still ends the reception
}

void ConnectionsTest::portListFollowsTheCheckBox_data() {
    QTest::addColumn<bool>("system");
    QTest::addColumn<QStringList>("systemPorts");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("text");
    const QStringList two = {"/dev/ttyUSB1", "/dev/ttyS0"};
    QTest::newRow("fixed list") << false << two << "COM3" << 99 << -1 << "COM3";
    QTest::newRow("system, typed entry kept")
        << true << two << "/dev/ttyS0" << 2 << -1 << "/dev/ttyS0";
    QTest::newRow("system, unknown text") << true << two << "COM1" << 2 << 0 << "/dev/ttyUSB1";
    QTest::newRow("system, none") << true << QStringList() << "COM1" << 0 << -1 << "";
    QTest::newRow("system, windows names filtered")
        << true << QStringList{"COM4", "LPT1", "COM10"} << "x" << 2 << 0 << "COM4";
}

void ConnectionsTest::portListFollowsTheCheckBox() {
    QFETCH(bool, system);
    QFETCH(QStringList, systemPorts);
    QFETCH(QString, typed);
    QFETCH(int, count);
    QFETCH(int, index);
    QFETCH(QString, text);
    ConnectionsRig rig;
    rig.fakes.systemPorts = systemPorts;
    ComboControl& ports = rig.form.cmbComPort;
    ports.text = typed;
    rig.form.tbAutoComList.checked = system;
    SerialPortList list(rig.form, rig.loader.output, [&rig] { return rig.links.systemPorts(); });
    list.tbAutoComListClick();
    QCOMPARE(ports.items.size(), count);
    QCOMPARE(ports.itemIndex, index);
    QCOMPARE(ports.text, text);
    if (!system) {
        QCOMPARE(ports.items.first(), QStringLiteral("COM1"));
        QCOMPARE(ports.items.last(), QStringLiteral("COM99"));
    }
}

void ConnectionsTest::serialOpenShowsItsStepsAndTakesHalfASecond() {
    ConnectionsRig rig;
    const std::uint64_t start = rig.runtime.elapsed();
    rig.operation([] {});
    QCOMPARE(rig.status2,
             QStringList({"COM1:открыт", "Открываем порт COM1", "Порт COM1 успешно открыт"}));
    QVERIFY(rig.runtime.elapsed() - start >= 500);
    QCOMPARE(rig.fakes.serial->openCalls, 1);
    QCOMPARE(rig.fakes.serial->portName(), QStringLiteral("COM1"));
    QCOMPARE(rig.fakes.serial->baudRate(), 115200);
    QCOMPARE(rig.form.cmbBaudRate.itemIndex, 6);
    QVERIFY(rig.loader.state.ConnectionOpen);
    QVERIFY(rig.loader.terminal.sendPanelVisible);
    QVERIFY(!rig.form.cmbBaudRate.enabled);

    rig.links.close(LinkKind::Serial);
    QCOMPARE(rig.status2.last(), QStringLiteral("COM1:закрыт"));
    QVERIFY(!rig.loader.state.ConnectionOpen);
    QVERIFY(!rig.loader.Timer3->enabled());
    QVERIFY(rig.form.cmbBaudRate.enabled);
}

void ConnectionsTest::typedDevicePathIsOpenedAsTyped() {
    ConnectionsRig rig;
    rig.form.cmbComPort.items = {"COM1", "COM2"};
    rig.form.cmbComPort.itemIndex = 1;
    rig.form.cmbComPort.text = "/dev/pts/7";
    rig.form.cmbBaudRate.select(0);
    rig.operation([] {});
    QCOMPARE(rig.fakes.serial->portName(), QStringLiteral("/dev/pts/7"));
    QCOMPARE(rig.fakes.serial->baudRate(), 9600);
    QCOMPARE(rig.status2.last(), QStringLiteral("Порт /dev/pts/7 успешно открыт"));
}

void ConnectionsTest::serialOpenFailures_data() {
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("status");
    QTest::addColumn<int>("opens");
    QTest::addColumn<int>("minimumMs");
    QTest::newRow("no ports") << "empty"
                              << "В ситеме нет последовательных портов!!!" << 0 << 0;
    QTest::newRow("bad speed") << "speed"
                               << "Ошибочное значение скорости СОМ порта!" << 0 << 0;
    QTest::newRow("missing device") << "enoent"
                                    << "Unable to open com port (Error: 2)" << 1 << 0;
    QTest::newRow("port drops at once") << "drops"
                                        << "порт не доступен. Возможно он занят!" << 20 << 10000;
}

void ConnectionsTest::serialOpenFailures() {
    QFETCH(QString, setup);
    QFETCH(QString, status);
    QFETCH(int, opens);
    QFETCH(int, minimumMs);
    ConnectionsRig rig;
    if (setup == "empty") {
        rig.form.cmbComPort.items.clear();
    } else if (setup == "speed") {
        rig.form.cmbBaudRate.itemIndex = 8;
    } else if (setup == "enoent") {
        rig.fakes.serial->openErrno = ENOENT;
    } else {
        rig.fakes.serial->openLeavesClosed = true;
    }
    const std::uint64_t start = rig.runtime.elapsed();
    rig.operation([] { QFAIL("the procedure ran without a connection"); });
    QCOMPARE(rig.loader.output.status(3), status);
    QCOMPARE(rig.fakes.serial->openCalls, opens);
    QVERIFY(rig.runtime.elapsed() - start >= std::uint64_t(minimumMs));
    QVERIFY(!rig.loader.state.OperationActive);
    QVERIFY(rig.form.ToolButton1.enabled);
}

void ConnectionsTest::refusedPermissionSaysWhichGroupGrantsIt() {
    ConnectionsRig rig;
    rig.fakes.serial->openErrno = EACCES;
    rig.form.cmbComPort.text = "/dev/null";
    rig.operation([] {});
    const QString status = rig.loader.output.status(3);
    QVERIFY2(status.startsWith("Unable to open com port (Error: 13). Нет прав на доступ к порту "
                               "/dev/null: пользователь должен входить в группу "),
             qPrintable(status));
    QVERIFY(status.contains("sudo usermod -a -G "));
}

void ConnectionsTest::tcpOpenOutcomes_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("outcome");
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("status3");
    QTest::addColumn<QString>("status2");
    QTest::addColumn<int>("minimumMs");
    QTest::addColumn<int>("maximumMs");
    const int connect = int(FakeTcpLayer::Outcome::Connect);
    const int refuse = int(FakeTcpLayer::Outcome::Refuse);
    const int silent = int(FakeTcpLayer::Outcome::Silent);
    const QString unavailable = "порт не доступен. Возможно он занят!";
    QTest::newRow("tcp connects") << int(LinkKind::Tcp) << connect << "h"
                                  << "Операция выполнена за 00:00:00"
                                  << ":50000 открыт" << 20 << 100;
    QTest::newRow("broker connects") << int(LinkKind::Broker) << connect << "h"
                                     << "Операция выполнена за 00:00:00"
                                     << ":50000 открыт" << 20 << 100;
    // A connect that failed names where it went (there is no local port to name).
    QTest::newRow("tcp refused") << int(LinkKind::Tcp) << refuse << "h" << unavailable
                                 << "Нет соединения с h:10001" << 20 << 100;
    QTest::newRow("broker refused") << int(LinkKind::Broker) << refuse << "h" << unavailable
                                    << "Нет соединения с h:10002" << 20 << 100;
    QTest::newRow("no answer") << int(LinkKind::Tcp) << silent << "h" << unavailable << ": закрыт"
                               << 10000 << 10100;
    QTest::newRow("no host") << int(LinkKind::Tcp) << connect << ""
                             << "Host not set"
                             << "COMx:закрыт" << 0 << 100;
}

void ConnectionsTest::tcpOpenOutcomes() {
    QFETCH(int, kind);
    QFETCH(int, outcome);
    QFETCH(QString, host);
    QFETCH(QString, status3);
    QFETCH(QString, status2);
    QFETCH(int, minimumMs);
    QFETCH(int, maximumMs);
    ConnectionsRig rig;
    rig.useKind(LinkKind(kind));
    rig.fakes.tcpOutcome = FakeTcpLayer::Outcome(outcome);
    rig.form.IPEdit.text = host;
    rig.form.BrokerIPEdt.text = host;
    const std::uint64_t start = rig.runtime.elapsed();
    rig.operation([] {});
    const auto took = int(rig.runtime.elapsed() - start);
    QCOMPARE(rig.loader.output.status(3), status3);
    QCOMPARE(rig.loader.output.status(2), status2);
    QVERIFY2(took >= minimumMs && took <= maximumMs, qPrintable(QString::number(took)));
    QCOMPARE(rig.fakes.tcp->host, host);
    QCOMPARE(rig.fakes.tcp->port,
             LinkKind(kind) == LinkKind::Tcp ? QStringLiteral("10001") : "10002");
}

void ConnectionsTest::cancelEndsTheConnectWaitAtOnce() {
    ConnectionsRig rig;
    rig.useKind(LinkKind::Tcp);
    rig.fakes.tcpOutcome = FakeTcpLayer::Outcome::Silent;
    const std::uint64_t start = rig.runtime.elapsed();
    rig.runtime.post(300, [&] { rig.binding.btnConnectClick(); });
    rig.operation([] {});
    QVERIFY(rig.runtime.elapsed() - start < 400);
    // The user's cancel is named as such, not as a busy port.
    QCOMPARE(rig.loader.output.status(3),
             QStringLiteral("Операция не выполнена - отменено пользователем"));
    QCOMPARE(rig.loader.driver.lastResult().outcome, Outcome::Cancelled);
    // A cancel is journalled like any other, not left to a warning without a reason.
    QVERIFY(rig.loader.driver.lastResult().journalWritten);
}

void ConnectionsTest::peerCloseRunsTheCloseHandler() {
    ConnectionsRig rig;
    rig.useKind(LinkKind::Tcp);
    rig.loader.setAnswerTimeout(1000);
    rig.loader.state.AttemptLimit = 1;
    bool answered = true;
    rig.operation([&] {
        rig.fakes.tcp->peerClose(100);
        answered = rig.loader.exchange.SendCommand("VER\r");
    });
    QVERIFY(!answered);
    QVERIFY(!rig.loader.state.ConnectionOpen);
    QVERIFY(!rig.loader.state.TcpConnected);
    QVERIFY(!rig.loader.terminal.sendPanelVisible);
    QCOMPARE(rig.loader.output.status(2), QStringLiteral(":50000 закрыт"));
}

void ConnectionsTest::tcpWriteIsDroppedWhileNotConnected() {
    ConnectionsRig rig;
    rig.useKind(LinkKind::Tcp);
    rig.links.write(LinkKind::Tcp, "no client yet"); // no client: nothing happens
    rig.openConnection();                            // outside an operation: returns at once
    QVERIFY(!rig.loader.state.ConnectionOpen);
    rig.links.write(LinkKind::Tcp, "too early");
    rig.runtime.runFor(50);
    rig.links.write(LinkKind::Tcp, "VER\r");
    QCOMPARE(rig.fakes.tcp->written, QList<QByteArray>({"VER\r"}));
    rig.loader.terminal.visible = false;
    rig.loader.driver.CloseConnection();
    QVERIFY(!rig.loader.state.ConnectionOpen);
    QCOMPARE(rig.loader.output.status(2), QStringLiteral(":50000 закрыт"));
}

void ConnectionsTest::dataAvailableCountsInTheCaptionAndTraces() {
    ConnectionsRig rig;
    rig.useKind(LinkKind::Tcp);
    rig.loader.state.DebugMode = true;
    rig.form.cmbBaudRate.itemIndex = -1;
    rig.openConnection();
    rig.runtime.runFor(50);
    rig.loader.state.AnswerBuffer = "x";
    rig.fakes.tcp->onDataAvailable(); // an event with no bytes
    QCOMPARE(rig.loader.terminal.caption(), QStringLiteral("Терминальное окно RxCount=1 len=0"));
    QCOMPARE(rig.loader.state.QuietTicks, 3);
    rig.fakes.tcp->receive("hello", 0);
    rig.runtime.runFor(5);
    QCOMPARE(rig.loader.terminal.caption(), QStringLiteral("Терминальное окно RxCount=2 len=5"));
    const std::uint32_t trace = rig.loader.state.ReceiveTraceTick;
    QCOMPARE(rig.runtime.debugLines.last(), QStringLiteral("TCPRxChar x %1").arg(trace));
    QVERIFY(trace - rig.runtime.tickCount() <= 240);
}

// A kind the connection button offers without a link would open nothing and drop every
// command.
void ConnectionsTest::everyKindHasALink() {
    LinkKind kind = LinkKind::Serial;
    do {
        QVERIFY2(LinkRegistry::makerOf(kind) != nullptr,
                 qPrintable(QString::number(linkKindNumber(kind))));
        kind = nextLinkKind(kind);
    } while (kind != LinkKind::Serial);
}

QTEST_GUILESS_MAIN(ConnectionsTest)
#include "tst_connections.moc"
