// The serial layer over a real pseudo-terminal pair: the test holds the controller's end and
// the loader opens the other end as its serial port.
#include "RealConnectionsRig.h"
#include "connections/ComPort.h"
#include "connections/SerialErrorText.h"

#include <QElapsedTimer>
#include <QSocketNotifier>
#include <QTest>
#include <cerrno>
#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

namespace {

// The controller's end of a pseudo-terminal; the loader opens devicePath.
class PtyPair {
public:
    PtyPair() {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (master_ >= 0 && ::grantpt(master_) == 0 && ::unlockpt(master_) == 0) {
            devicePath = QString::fromLocal8Bit(::ptsname(master_));
        }
    }
    ~PtyPair() { hangUp(); }
    bool ok() const { return master_ >= 0 && !devicePath.isEmpty(); }
    void send(const QByteArray& bytes) const {
        QVERIFY(::write(master_, bytes.constData(), std::size_t(bytes.size())) == bytes.size());
    }
    // What the loader wrote, waiting up to timeoutMs for at least minimum bytes.
    QByteArray take(int minimum, int timeoutMs = 2000) const {
        QByteArray bytes;
        for (int waited = 0;; waited += 5) {
            char buffer[256];
            const ssize_t n = ::read(master_, buffer, sizeof buffer);
            if (n > 0) {
                bytes.append(buffer, n);
            }
            if (bytes.size() >= minimum || waited >= timeoutMs) {
                break;
            }
            if (n <= 0) {
                QTest::qWait(5);
            }
        }
        return bytes;
    }
    void hangUp() {
        if (master_ >= 0) {
            ::close(master_);
            master_ = -1;
        }
    }
    int fd() const { return master_; }

    QString devicePath;

private:
    int master_ = -1;
};

} // namespace

class SerialPtyTest : public QObject {
    Q_OBJECT
private slots:
    void openWriteReceiveInPiecesAndClose();
    void closedPortSaysPortNotOpen();
    void lineSettingsAreAppliedOrTheOpenFails_data();
    void lineSettingsAreAppliedOrTheOpenFails();
    void openFailureCarriesTheErrno_data();
    void openFailureCarriesTheErrno();
    void hangUpClosesThePort();
    void commandAndAnswerThroughTheLoader();
};

void SerialPtyTest::openWriteReceiveInPiecesAndClose() {
    PtyPair pty;
    QVERIFY(pty.ok());
    ::fcntl(pty.fd(), F_SETFL, O_NONBLOCK);
    ComPort port;
    QStringList events;
    QByteArray received;
    port.onAfterOpen = [&] { events << "open"; };
    port.onAfterClose = [&] { events << "close"; };
    port.onRxChar = [&](int count) {
        char buffer[64];
        const int n = port.read(buffer, std::min(count, 64));
        received.append(buffer, n);
        events << QStringLiteral("rx%1").arg(n);
    };
    port.setPortName(pty.devicePath);
    port.setBaudRate(115200);
    port.open(); // a pseudo-terminal refuses DTR and RTS; the open still succeeds
    QVERIFY(port.isOpen());
    QCOMPARE(events, QStringList{"open"});
    port.open(); // already open: nothing happens
    QCOMPARE(events.size(), 1);

    port.write("VER\r");
    QCOMPARE(pty.take(4), QByteArray("VER\r"));

    pty.send("12");
    QTRY_COMPARE_WITH_TIMEOUT(received, QByteArray("12"), 2000);
    pty.send("345");
    QTRY_COMPARE_WITH_TIMEOUT(received, QByteArray("12345"), 2000);
    QCOMPARE(events.mid(1), QStringList({"rx2", "rx3"})); // one event per arrival, from the loop

    port.close();
    QVERIFY(!port.isOpen());
    QCOMPARE(events.last(), QStringLiteral("close"));
    port.close();
    QCOMPARE(events.count("close"), 1);
}

void SerialPtyTest::closedPortSaysPortNotOpen() {
    ComPort port;
    char buffer[4];
    for (int call = 0; call < 2; ++call) {
        try {
            if (call == 0) {
                port.write("x");
            } else {
                port.read(buffer, 4);
            }
            QFAIL("no error on a closed port");
        } catch (const SerialError& e) {
            QCOMPARE(e.text(), QStringLiteral("Port Not Open"));
        }
    }
}

void SerialPtyTest::lineSettingsAreAppliedOrTheOpenFails_data() {
    QTest::addColumn<int>("baud");
    QTest::addColumn<int>("speed"); // termios speed; 0: the open is refused
    QTest::newRow("115200") << 115200 << int(B115200);
    QTest::newRow("9600") << 9600 << int(B9600);
    QTest::newRow("refused speed") << 0 << 0;
}

void SerialPtyTest::lineSettingsAreAppliedOrTheOpenFails() {
    QFETCH(int, baud);
    QFETCH(int, speed);
    PtyPair pty;
    QVERIFY(pty.ok());
    // The test's own handle on the line, opened first: the port is exclusive once open.
    const int line = ::open(pty.devicePath.toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
    QVERIFY(line >= 0);
    termios before{};
    ::tcgetattr(line, &before);
    before.c_cflag |= PARENB | CSTOPB | CRTSCTS;
    before.c_iflag |= IXON | IXOFF;
    ::cfsetspeed(&before, B1200);
    ::tcsetattr(line, TCSANOW, &before);
    ComPort port;
    bool opened = false;
    port.onAfterOpen = [&] { opened = true; };
    port.setPortName(pty.devicePath);
    port.setBaudRate(baud);
    try {
        port.open();
        QVERIFY(speed != 0);
    } catch (const SerialError& e) {
        QCOMPARE(speed, 0);
        QCOMPARE(e.text(), SerialErrorText::openFailed(EINVAL) +
                               QStringLiteral(". Порт не принял настройку: скорость 0 бит/с"));
    }
    QCOMPARE(port.isOpen(), speed != 0);
    QCOMPARE(opened, speed != 0);
    termios after{};
    ::tcgetattr(line, &after);
    ::close(line);
    if (speed != 0) {
        QCOMPARE(int(::cfgetospeed(&after)), speed);
        QCOMPARE(after.c_cflag & CSIZE, tcflag_t(CS8));
        QCOMPARE(after.c_cflag & (PARENB | CSTOPB | CRTSCTS), tcflag_t(0));
        QCOMPARE(after.c_iflag & (IXON | IXOFF), tcflag_t(0));
    }
}

void SerialPtyTest::openFailureCarriesTheErrno_data() {
    QTest::addColumn<bool>("busy");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("text");
    QTest::newRow("missing device")
        << false << ENOENT << "Unable to open com port (Error: 2 — устройство не существует)";
    QTest::newRow("held by another")
        << true << EBUSY << "Unable to open com port (Error: 16 — порт занят другой программой)";
}

void SerialPtyTest::openFailureCarriesTheErrno() {
    QFETCH(bool, busy);
    QFETCH(int, code);
    QFETCH(QString, text);
    PtyPair pty;
    QVERIFY(pty.ok());
    ComPort holder;
    if (busy) {
        holder.setPortName(pty.devicePath);
        holder.open();
    }
    ComPort port;
    bool opened = false;
    port.onAfterOpen = [&] { opened = true; };
    port.setPortName(busy ? pty.devicePath : QStringLiteral("/dev/velkor-no-such-port"));
    try {
        port.open();
        QFAIL("the port opened");
    } catch (const SerialError& e) {
        QCOMPARE(e.text(), text);
        QCOMPARE(e.code(), code);
    }
    QVERIFY(!port.isOpen());
    QVERIFY(!opened);
}

void SerialPtyTest::hangUpClosesThePort() {
    PtyPair pty;
    QVERIFY(pty.ok());
    ComPort port;
    bool closed = false;
    port.onAfterClose = [&] { closed = true; };
    port.onRxChar = [&](int count) {
        QByteArray buffer(count, '\0');
        port.read(buffer.data(), count);
    };
    port.setPortName(pty.devicePath);
    port.open();
    pty.hangUp(); // the far end disappears, as an unplugged adapter does
    QElapsedTimer clock;
    clock.start();
    try {
        port.write("VER\r");
        QFAIL("a write to a hung-up line succeeded");
    } catch (const SerialError& e) {
        // EIO, not a code left over from the refused modem-line calls of the open.
        QCOMPARE(e.text(), QStringLiteral("WriteFile function failed (Error: 5 — ошибка "
                                          "ввода-вывода: устройство отключено или неисправно)"));
    }
    QVERIFY(clock.elapsed() < 500); // fails at once, not at the end of the write time-out
    QTRY_VERIFY_WITH_TIMEOUT(closed, 2000);
    QVERIFY(!port.isOpen());
}

void SerialPtyTest::commandAndAnswerThroughTheLoader() {
    PtyPair pty;
    QVERIFY(pty.ok());
    ::fcntl(pty.fd(), F_SETFL, O_NONBLOCK);
    // The controller answers every line in two pieces.
    QSocketNotifier device(pty.fd(), QSocketNotifier::Read);
    QByteArray heard;
    QObject::connect(&device, &QSocketNotifier::activated, [&] {
        heard += pty.take(1, 0);
        if (heard.endsWith('\r')) {
            pty.send("3.");
            QTest::qSleep(5);
            pty.send("14\r\n");
        }
    });
    RealConnectionsRig rig;
    rig.form.cmbComPort.text = pty.devicePath; // typed, not an entry of the list
    bool answered = false;
    rig.operation([&] { answered = rig.loader.exchange.SendCommand("VER\r"); });
    QVERIFY(answered);
    QCOMPARE(rig.loader.state.AnswerBuffer, QByteArray("3.14\r\n"));
    QCOMPARE(heard, QByteArray("VER\r"));
    QCOMPARE(rig.status2.last(), "Порт " + pty.devicePath + " успешно открыт");
    QVERIFY(rig.loader.state.ConnectionOpen);
    rig.parts.connections.close(LinkKind::Serial);
    QCOMPARE(rig.loader.output.status(2), pty.devicePath + ":закрыт");
}

QTEST_GUILESS_MAIN(SerialPtyTest)
#include "tst_serial_pty.moc"
