// velkor-devsim over its direct TCP connection, driven by a scripted client: the restart
// banner, flashing through the bootloader, the storage memory dialogue with descriptor, check,
// install and read-back, the command tokenizer, and several connections at once.
#include "DevsimProcess.h"
#include "SRecordText.h"
#include "core/Crc16.h"

#include <QFile>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

namespace {

using TestRecords::srec;

QByteArray bytesFrom(int first, int count) {
    QByteArray bytes;
    for (int i = 0; i < count; ++i) {
        bytes.append(char(first + i));
    }
    return bytes;
}

// A small firmware: header, three data records (two of them adjacent), end record.
QList<QByteArray> firmwareLines() {
    return {"S00600004844521B", srec(3, 0x08000000, 4, bytesFrom(0, 16)),
            srec(3, 0x08000010, 4, bytesFrom(16, 16)), srec(3, 0x08001000, 4, "AB"),
            srec(7, 0x08000000, 4, {})};
}

// The image the simulator must write for that firmware.
const QByteArray kExpectedImage = "08000000 000102030405060708090A0B0C0D0E0F"
                                  "101112131415161718191A1B1C1D1E1F\n"
                                  "08001000 4142\n";

QByteArray fileContent(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

struct Client {
    QTcpSocket socket;

    bool connectTo(quint16 port) {
        socket.connectToHost(QHostAddress::LocalHost, port);
        return socket.waitForConnected(3000);
    }
    void send(const QByteArray& bytes) {
        socket.write(bytes);
        socket.flush();
    }
    // Sends a command without line end and returns its answer line (read the banner first).
    QByteArray ask(const QByteArray& command) {
        socket.readAll(); // whatever came before belongs to no command
        send(command);
        return readUntil(socket, [](const QByteArray& b) { return b.endsWith("\r\n"); });
    }
    QByteArray banner() {
        return readUntil(socket, [](const QByteArray& b) { return b.contains("BIOS:"); });
    }
};

} // namespace

class DevsimTcpTest : public QObject {
    Q_OBJECT
private slots:
    void init();
    void bannerThenBootloaderProgramsTheImage();
    void storageUploadIsCheckedInstalledAndReadBack();
    void storageOutlivesTheSimulator();
    void commandWithoutLineEndEndsAtTheIdleGap();
    void connectionsHaveTheirOwnSessionsAndShareTheStorage();

private:
    QTemporaryDir dir_;
    QString image_;
    QString storage_;
};

void DevsimTcpTest::init() {
    image_ = dir_.filePath(QStringLiteral("%1.image").arg(QTest::currentTestFunction()));
    storage_ = dir_.filePath(QStringLiteral("%1.storage").arg(QTest::currentTestFunction()));
}

void DevsimTcpTest::bannerThenBootloaderProgramsTheImage() {
    DevsimProcess sim({"--tcp", "0", "--unit", "ABC5", "--version-text", "3.21", "--image-out",
                       image_, "--banner-interval", "150", "--reset-delay", "50"});
    QVERIFY(sim.isReady());
    QVERIFY(!QFile::exists(image_)); // nothing programmed yet
    Client client;
    QVERIFY(client.connectTo(sim.tcpPort()));
    const QByteArray banner = client.banner();
    QVERIFY2(banner.contains("UNIT:ABC5 3.21\r\n"), banner.constData());
    // The banner repeats while nothing is sent.
    QVERIFY(readUntil(
                client.socket, [](const QByteArray& b) { return b.contains("UNIT:"); }, 1000)
                .contains("BIOS:"));

    client.send("i");
    QVERIFY(readUntil(client.socket, [](const QByteArray& b) {
                return b.contains("BIOS>");
            }).contains("BIOS>"));
    client.send("f");
    QVERIFY(readUntil(client.socket, [](const QByteArray& b) {
                return b.endsWith("\r\n");
            }).endsWith("\r\n"));
    const QList<QByteArray> lines = firmwareLines();
    for (qsizetype i = 0; i + 1 < lines.size(); ++i) {
        client.send(lines[i] + '\r');
        const QByteArray answer = readUntil(
            client.socket, [](const QByteArray& b) { return b.contains('w') || b.contains('@'); });
        QVERIFY2(answer == "w" || answer == "@", answer.constData());
    }
    client.send(lines.back() + '\r');
    const QByteArray end =
        readUntil(client.socket, [](const QByteArray& b) { return b.contains("OK"); });
    QVERIFY2(end.contains("OK"), end.constData());
    QCOMPARE(fileContent(image_), kExpectedImage);
    // The controller restarts into the new firmware.
    QVERIFY(client.banner().contains("UNIT:ABC5"));
}

void DevsimTcpTest::storageUploadIsCheckedInstalledAndReadBack() {
    DevsimProcess sim({"--tcp", "0", "--password", "TOVRIL", "--image-out", image_, "--storage",
                       storage_, "--pages", "100"});
    QVERIFY(sim.isReady());
    Client client;
    QVERIFY(client.connectTo(sim.tcpPort()));
    client.banner();
    QVERIFY(client.ask("PASSWORD").contains("denied"));
    QVERIFY(client.ask("PAGEWRITE S0").startsWith("ERR")); // nothing without access
    QVERIFY(client.ask("PASSWORD TOVRIL").contains("granted"));
    QVERIFY(client.ask("MODEM_CON TRUE").contains("TRUE"));
    QVERIFY(client.ask("DEBUG 0").contains("0"));
    QVERIFY(client.ask("WRITECOUNTER 0").contains("0"));
    QVERIFY(client.ask("PAGEHEXMODE FALSE").contains("FALSE"));
    QVERIFY(client.ask("PAGENUM 70").contains("70"));
    QVERIFY(client.ask("PAGEADDR 10").contains("10"));

    QByteArray text;
    int line = 0;
    for (const QByteArray& record : firmwareLines()) {
        text += record;
        const QByteArray answer = client.ask("PAGEWRITE " + record);
        const QByteArray expected = QStringLiteral("OK STR:%1 NUM:%2 ADDR:%3\r\n")
                                        .arg(++line)
                                        .arg((70 * 528 + 10 + text.size()) / 528)
                                        .arg((70 * 528 + 10 + text.size()) % 528)
                                        .toLatin1();
        QCOMPARE(answer, expected);
    }
    const quint16 crc = Crc16::compute(text);
    // Low byte first: length in 4 bytes, then the CRC in 2.
    QByteArray descriptorBytes(6, '\0');
    for (int i = 0; i < 4; ++i) {
        descriptorBytes[i] = char((text.size() >> (8 * i)) & 0xFF);
    }
    descriptorBytes[4] = char(crc & 0xFF);
    descriptorBytes[5] = char(crc >> 8);
    client.ask("PAGENUM 70");
    client.ask("PAGEADDR 0");
    client.ask("PAGEHEXMODE TRUE");
    QVERIFY(client.ask("PAGEWRITE " + descriptorBytes.toHex().toUpper()).contains("OK"));
    QVERIFY(client.ask("PAGEWRITE 00000000").contains("ADDR:10"));

    // The storage file holds the descriptor, four zero bytes and the text from address 10.
    QCOMPARE(fileContent(storage_).mid(70 * 528, 10 + text.size()),
             descriptorBytes + QByteArray(4, '\0') + text);

    QVERIFY(client.ask("REPROGRAMM W").contains("GOOD"));
    QCOMPARE(fileContent(image_), kExpectedImage);

    // Read back as the loader does: descriptor in hex mode, then the text in pieces.
    client.ask("PAGEADDR 0");
    client.ask("PAGECOUNT 6");
    QCOMPARE(client.ask("PAGEREAD"), descriptorBytes.toHex().toUpper() + "\r\n");
    client.ask("PAGEADDR 10");
    client.ask("PAGECOUNT 50");
    client.ask("PAGEHEXMODE FALSE");
    QByteArray readBack;
    while (readBack.size() < text.size()) {
        const QByteArray answer = client.ask("PAGEREAD");
        QCOMPARE(answer.size(), 52);
        readBack += answer.chopped(2);
    }
    QCOMPARE(readBack.left(text.size()), text);

    // A damaged text is refused by the check.
    client.ask("PAGEADDR 20");
    client.ask("PAGEWRITE X");
    QVERIFY(client.ask("REPROGRAMM W").contains("BAD"));
    QCOMPARE(fileContent(image_), kExpectedImage);

    QVERIFY(client.ask("RESET").contains("RESET"));
    QVERIFY(client.banner().contains("UNIT:"));
    QVERIFY(client.ask("VER").contains("3."));
}

void DevsimTcpTest::storageOutlivesTheSimulator() {
    {
        DevsimProcess sim({"--tcp", "0", "--storage", storage_, "--pages", "80"});
        QVERIFY(sim.isReady());
        Client client;
        QVERIFY(client.connectTo(sim.tcpPort()));
        client.banner();
        client.ask("PAGENUM 75");
        QVERIFY(client.ask("PAGEWRITE kept across restarts").contains("OK"));
    }
    DevsimProcess sim({"--tcp", "0", "--storage", storage_, "--pages", "80"});
    QVERIFY(sim.isReady());
    Client client;
    QVERIFY(client.connectTo(sim.tcpPort()));
    client.banner();
    client.ask("PAGENUM 75");
    client.ask("PAGECOUNT 22");
    QCOMPARE(client.ask("PAGEREAD"), QByteArray("kept across restarts\xFF\xFF\r\n"));

    DevsimProcess wrongSize({"--tcp", "0", "--storage", storage_, "--pages", "81"});
    QVERIFY(!wrongSize.isReady());
    QVERIFY(wrongSize.errorOutput().contains("storage file"));
}

void DevsimTcpTest::commandWithoutLineEndEndsAtTheIdleGap() {
    DevsimProcess sim({"--tcp", "0", "--idle-gap", "100"});
    QVERIFY(sim.isReady());
    Client client;
    QVERIFY(client.connectTo(sim.tcpPort()));
    client.banner();
    // One command in three segments, each gap shorter than the idle gap.
    client.send("PAGE");
    QThread::msleep(10);
    client.send("NU");
    QThread::msleep(10);
    client.send("M 71");
    QCOMPARE(readQuiet(client.socket, 250), QByteArray("PAGENUM=71\r\n"));
    // Two commands apart by more than the idle gap, no line ends: two answers.
    client.send("PAGEADDR 5");
    QThread::msleep(250);
    client.send("PAGEADDR 6");
    QCOMPARE(readUntil(client.socket, [](const QByteArray& b) { return b.count('\n') == 2; }),
             QByteArray("PAGEADDR=5\r\nPAGEADDR=6\r\n"));
    // Line ends cut at once, also several commands in one segment.
    client.send("PAGEADDR 7\r\nPAGEADDR 8\r");
    QCOMPARE(readUntil(client.socket, [](const QByteArray& b) { return b.count('\n') == 2; }),
             QByteArray("PAGEADDR=7\r\nPAGEADDR=8\r\n"));
}

void DevsimTcpTest::connectionsHaveTheirOwnSessionsAndShareTheStorage() {
    DevsimProcess sim({"--tcp", "0"});
    QVERIFY(sim.isReady());
    Client first;
    Client second;
    QVERIFY(first.connectTo(sim.tcpPort()));
    QVERIFY(second.connectTo(sim.tcpPort()));
    QVERIFY(first.banner().contains("UNIT:"));
    QVERIFY(second.banner().contains("UNIT:"));
    first.ask("PAGEHEXMODE TRUE");
    first.ask("PAGENUM 90");
    QVERIFY(first.ask("PAGEWRITE 414243").contains("STR:1"));
    QVERIFY(second.ask("PAGEHEXMODE").contains("FALSE"));
    second.ask("PAGENUM 90");
    second.ask("PAGECOUNT 3");
    QCOMPARE(second.ask("PAGEREAD"), QByteArray("ABC\r\n"));
    QVERIFY(second.ask("PAGEWRITE x").contains("STR:1"));
}

QTEST_GUILESS_MAIN(DevsimTcpTest)
#include "tst_devsim_tcp.moc"
