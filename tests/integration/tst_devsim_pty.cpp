// velkor-devsim on its pseudo-terminal, driven through the slave path as a serial port would be:
// the banner, the bootloader and the interpreter, and the restart that stands in for a closed
// connection.
#include "DevsimProcess.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {

// The slave side of the simulator's terminal, opened in raw mode.
class SerialEnd {
public:
    explicit SerialEnd(const QString& path) {
        fd_ = ::open(path.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        termios raw{};
        if (fd_ >= 0 && ::tcgetattr(fd_, &raw) == 0) {
            ::cfmakeraw(&raw);
            ::tcsetattr(fd_, TCSANOW, &raw);
        }
    }
    ~SerialEnd() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    SerialEnd(const SerialEnd&) = delete;
    SerialEnd& operator=(const SerialEnd&) = delete;

    bool isOpen() const { return fd_ >= 0; }
    void send(const QByteArray& bytes) const {
        QCOMPARE(::write(fd_, bytes.constData(), size_t(bytes.size())), ssize_t(bytes.size()));
    }
    QByteArray readUntil(const std::function<bool(const QByteArray&)>& done, int timeoutMs = 3000) {
        QElapsedTimer clock;
        clock.start();
        while (!done(received_) && clock.elapsed() < timeoutMs) {
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, 20) > 0) {
                char buffer[512];
                const ssize_t n = ::read(fd_, buffer, sizeof buffer);
                if (n > 0) {
                    received_.append(buffer, n);
                }
            }
        }
        QByteArray out;
        out.swap(received_);
        return out;
    }
    QByteArray ask(const QByteArray& command) {
        send(command);
        return readUntil([](const QByteArray& b) { return b.endsWith("\r\n"); });
    }

private:
    int fd_ = -1;
    QByteArray received_;
};

bool hasBanner(const QByteArray& b) {
    return b.contains("BIOS:");
}

} // namespace

class DevsimPtyTest : public QObject {
    Q_OBJECT
private slots:
    void bootloaderAndInterpreterOverThePty();
    void closeFaultRestartsTheController();
};

void DevsimPtyTest::bootloaderAndInterpreterOverThePty() {
    QTemporaryDir dir;
    const QString image = dir.filePath("image");
    DevsimProcess sim({"--pty", "--unit", "XK7", "--image-out", image, "--banner-interval", "100"});
    QVERIFY(sim.isReady());
    QVERIFY(sim.ptyPath().startsWith("/dev/"));
    SerialEnd port(sim.ptyPath());
    QVERIFY(port.isOpen());
    QVERIFY(port.readUntil(hasBanner).contains("UNIT:XK7 "));
    port.send("i");
    QVERIFY(
        port.readUntil([](const QByteArray& b) { return b.contains("BIOS>"); }).contains("BIOS>"));
    port.send("f");
    QVERIFY(!port.readUntil([](const QByteArray& b) { return b.endsWith("\r\n"); }).isEmpty());
    port.send("S1050010A1B297\r");
    QCOMPARE(port.readUntil([](const QByteArray& b) { return !b.isEmpty(); }), QByteArray("@"));
    port.send("S1050010A1B298\r"); // checksum wrong
    QVERIFY(
        port.readUntil([](const QByteArray& b) { return b.endsWith("\r\n"); }).startsWith("ERR"));
    port.send("S9030000FC\r");
    QVERIFY(port.readUntil([](const QByteArray& b) { return b.contains("OK"); }).contains("OK"));
    QFile file(image);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("00000010 A1B2\n"));

    QVERIFY(port.readUntil(hasBanner).contains("UNIT:XK7"));
    QVERIFY(port.ask("VER").contains("3."));
    QVERIFY(port.ask("PAGEHEXMODE TRUE").contains("TRUE"));
}

void DevsimPtyTest::closeFaultRestartsTheController() {
    DevsimProcess sim({"--pty", "--close-after-writes", "2", "--banner-interval", "5000"});
    QVERIFY(sim.isReady());
    SerialEnd port(sim.ptyPath());
    QVERIFY(port.isOpen());
    port.readUntil(hasBanner);
    QVERIFY(port.ask("PAGEWRITE a").contains("STR:1"));
    port.send("PAGEWRITE b");
    const QByteArray after = port.readUntil(hasBanner);
    QVERIFY2(!after.contains("STR:") && after.contains("UNIT:"), after.constData());
    QVERIFY(port.ask("PAGEWRITE c").contains("STR:1 NUM:0 ADDR:1"));
}

QTEST_GUILESS_MAIN(DevsimPtyTest)
#include "tst_devsim_pty.moc"
