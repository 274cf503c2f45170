// Flashing through velkor-cli into the simulator over each way of reaching a controller: the
// simulator's programmed image must equal the file's data, and a file for another device type
// must not be programmed at all.
#include "CliRun.h"
#include "DevsimProcess.h"
#include "SRecordText.h"
#include "connections/BrokerFrame.h"

#include <QDir>
#include <QFile>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <functional>

namespace {

using TestRecords::record;

constexpr std::uint32_t kBase = 0x08000000;

// A file of data records of 32 bytes from kBase; data receives every data byte in order.
QByteArray firmware(const QByteArray& header, int records, QByteArray& data) {
    QByteArray text = record('0', QByteArray(2, '\0') + header) + "\r\n";
    for (int r = 0; r < records; ++r) {
        QByteArray bytes(32, '\0');
        for (int i = 0; i < 32; ++i) {
            bytes[i] = char((r * 11 + i * 3) & 0xFF);
        }
        data += bytes;
        const std::uint32_t address = kBase + std::uint32_t(r) * 32;
        QByteArray body(4, '\0');
        for (int i = 0; i < 4; ++i) {
            body[3 - i] = char((address >> (8 * i)) & 0xFF);
        }
        text += record('3', body + bytes) + "\r\n";
    }
    text += record('7', QByteArray::fromHex("08000000")) + "\r\n";
    return text;
}

// Runs velkor-cli flash; once it waits for the controller's restart, restart() runs (the
// engineer resets the controller).
RunResult flash(const QStringList& arguments, const std::function<void()>& restart = {}) {
    CliRun cli(QStringList{QStringLiteral("flash")} + arguments);
    if (restart) {
        cli.whenError(QStringLiteral("Ожидание сброса устройства..."), restart);
    }
    return cli.run();
}

// Restarts the controller of a hardware id behind the broker, as a press of its reset button
// would: through a broker connection of its own.
void resetBehindBroker(quint16 brokerPort, std::uint32_t id) {
    QTcpSocket engineer;
    engineer.connectToHost(QHostAddress::LocalHost, brokerPort);
    QVERIFY(engineer.waitForConnected(3000));
    engineer.write(BrokerFrame::encode({BrokerFrame::kCommandCode, id, QByteArray("RESET")}));
    QVERIFY(engineer.waitForBytesWritten(3000));
    engineer.waitForReadyRead(500);
}

} // namespace

class FlashDevsimTest : public QObject {
    Q_OBJECT
private slots:
    void wholeFileLandsInTheSimulatedFlash_data();
    void wholeFileLandsInTheSimulatedFlash();
    void fileForAnotherDeviceIsNotProgrammed();
};

void FlashDevsimTest::wholeFileLandsInTheSimulatedFlash_data() {
    QTest::addColumn<QString>("way");
    QTest::newRow("tcp") << QStringLiteral("tcp");
    QTest::newRow("broker") << QStringLiteral("broker");
    QTest::newRow("serial over a pseudo-terminal") << QStringLiteral("pty");
}

void FlashDevsimTest::wholeFileLandsInTheSimulatedFlash() {
    QFETCH(QString, way);
    QTemporaryDir dir;
    QByteArray data;
    const QString file = dir.filePath(QStringLiteral("fw.s37"));
    QFile out(file);
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write(firmware("UNIT:LUMET52 integration test", 12, data));
    out.close();
    const QString image = dir.filePath(QStringLiteral("image.txt"));

    DevsimProcess sim({QStringLiteral("--tcp"), QStringLiteral("0"), QStringLiteral("--broker"),
                       QStringLiteral("0"), QStringLiteral("--pty"), QStringLiteral("--ids"),
                       QStringLiteral("1,2"), QStringLiteral("--banner-interval"),
                       QStringLiteral("200"), QStringLiteral("--image-out"), image});
    QVERIFY(sim.isReady());
    QStringList link;
    QString imageFile = image;
    std::function<void()> restart;
    if (way == QStringLiteral("tcp")) {
        link = {QStringLiteral("--tcp"), sim.tcpAddress()};
    } else if (way == QStringLiteral("broker")) {
        link = {QStringLiteral("--broker"), sim.brokerAddress(), QStringLiteral("--id"),
                QStringLiteral("2")};
        imageFile += QStringLiteral(".id2");
        // A controller behind the broker is running already: the engineer resets it.
        restart = [&sim] { resetBehindBroker(sim.brokerPort(), 2); };
    } else {
        link = {QStringLiteral("--serial"), sim.ptyPath()};
    }
    const RunResult run =
        flash(QStringList{file, QStringLiteral("--timeout"), QStringLiteral("3000"),
                          QStringLiteral("--data-dir"), dir.path()} +
                  link,
              restart);
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    QVERIFY(run.err.contains("Программирование закончено успешно."));

    QFile programmed(imageFile);
    QVERIFY2(programmed.open(QIODevice::ReadOnly), qPrintable(imageFile));
    QCOMPARE(programmed.readAll().trimmed(), "08000000 " + data.toHex().toUpper());
    QFile journal(QDir(dir.path()).filePath(QStringLiteral("velkor.jnl")));
    QVERIFY(journal.open(QIODevice::ReadOnly));
    QVERIFY(journal.readAll().contains("Msg:"));
}

void FlashDevsimTest::fileForAnotherDeviceIsNotProgrammed() {
    QTemporaryDir dir;
    QByteArray data;
    const QString file = dir.filePath(QStringLiteral("fw.s37"));
    QFile out(file);
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write(firmware("UNIT:DORN21 other device", 5, data));
    out.close();
    const QString image = dir.filePath(QStringLiteral("image.txt"));
    DevsimProcess sim({QStringLiteral("--tcp"), QStringLiteral("0"),
                       QStringLiteral("--banner-interval"), QStringLiteral("200"),
                       QStringLiteral("--image-out"), image});
    QVERIFY(sim.isReady());
    const RunResult run = flash({file, QStringLiteral("--tcp"), sim.tcpAddress(),
                                 QStringLiteral("--data-dir"), dir.path()});
    QCOMPARE(run.exitCode, 76);
    QVERIFY(run.err.contains("Несовместимость прошивки..."));
    QVERIFY(run.err.contains("Сигнатура файла не совпадает с переданной устройством!"));
    QVERIFY(!QFile::exists(image));
}

QTEST_GUILESS_MAIN(FlashDevsimTest)
#include "tst_flash_devsim.moc"
