// velkor-cli's peak memory under the worst input each command can be given: files far larger
// than any firmware, as a regular file and as a pipe, a file of line breaks alone, peers that
// answer megabytes to every command or never pause, eighty of them at once in a fleet. Every
// run stays under 100 MB and ends as it should.
#include "CliRun.h"
#include "connections/BrokerFrame.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

namespace {

// A broker whose every controller answers each command with `size` bytes in frames, or, with
// size 0, sends frames without pause after the first command. It writes as the reader takes the
// bytes, so this process holds little of them.
class LoudBroker : public QObject {
public:
    explicit LoudBroker(qint64 size) : size_(size) {
        server_.listen(QHostAddress::LocalHost);
        connect(&server_, &QTcpServer::newConnection, this, [this] {
            QTcpSocket* peer = server_.nextPendingConnection();
            connect(peer, &QTcpSocket::readyRead, this, [this, peer] { answer(peer); });
            connect(peer, &QTcpSocket::bytesWritten, this, [this, peer] { fill(peer); });
        });
    }
    QString address() const { return QStringLiteral("127.0.0.1:%1").arg(server_.serverPort()); }

private:
    void answer(QTcpSocket* peer) {
        const QByteArray in = peer->readAll();
        const auto request = BrokerFrame::decode(
            in.left(BrokerFrame::kOverhead + BrokerFrame::lengthField(in.constData())));
        if (request) {
            peer->setProperty("id", request->hardwareId);
            peer->setProperty("left", size_ > 0 ? size_ : std::numeric_limits<qint64>::max());
            fill(peer);
        }
    }
    void fill(QTcpSocket* peer) {
        const auto id = peer->property("id").toUInt();
        qint64 left = peer->property("left").toLongLong();
        while (left > 0 && peer->bytesToWrite() < 256 * 1024) {
            const qint64 piece = std::min<qint64>(left, 4000);
            peer->write(BrokerFrame::encode({0x41, id, QByteArray(piece, 'U')}));
            left -= piece;
        }
        peer->setProperty("left", left);
    }

    QTcpServer server_;
    qint64 size_;
};

// A TCP peer that sends without pause from the moment it is reached.
class FloodPeer : public QObject {
public:
    FloodPeer() {
        server_.listen(QHostAddress::LocalHost);
        connect(&server_, &QTcpServer::newConnection, this, [this] {
            QTcpSocket* peer = server_.nextPendingConnection();
            const auto fill = [peer] {
                while (peer->state() == QAbstractSocket::ConnectedState &&
                       peer->bytesToWrite() < 256 * 1024) {
                    peer->write(QByteArray(64 * 1024, 'U'));
                }
            };
            connect(peer, &QTcpSocket::readyRead, this, [peer] { peer->readAll(); });
            connect(peer, &QTcpSocket::bytesWritten, this, fill);
            fill();
        });
    }
    QString address() const { return QStringLiteral("127.0.0.1:%1").arg(server_.serverPort()); }

private:
    QTcpServer server_;
};

} // namespace

class CliMemoryTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void worstInputStaysUnder100Mb_data();
    void worstInputStaysUnder100Mb();

private:
    QTemporaryDir dir_;
};

void CliMemoryTest::initTestCase() {
    QVERIFY(dir_.isValid());
    QFile huge(dir_.filePath("huge.s37"));
    QVERIFY(huge.open(QIODevice::WriteOnly) && huge.resize(qint64(500) * 1024 * 1024));
    QFile breaks(dir_.filePath("breaks.s37"));
    QVERIFY(breaks.open(QIODevice::WriteOnly));
    QVERIFY(breaks.write(QByteArray(8 * 1024 * 1024 - 1, '\n')) > 0);
    CliRun sample({"sample", dir_.filePath("fw.s37"), "--records", "20", "--header",
                   "UNIT:LUMET52 demo 2.1"});
    QCOMPARE(sample.run().exitCode, 0);
}

void CliMemoryTest::worstInputStaysUnder100Mb_data() {
    QTest::addColumn<QStringList>("arguments"); // BROKER and TCP stand for the peer's address
    QTest::addColumn<qint64>("answer");         // the broker's answer to each command; 0: no pause
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("outcome");
    const qint64 mb = 1024 * 1024;
    const QStringList fleet{"send", "--broker",  "BROKER", "--id",
                            "1-80", "--timeout", "5000",   "VER"};
    QTest::newRow("check of a 500 MB file")
        << QStringList{"check", "huge.s37"} << qint64(-1) << 65 << "file-refused";
    QTest::newRow("check of a 600 MB pipe")
        << QStringList{"check", "PIPE"} << qint64(-1) << 65 << "file-refused";
    QTest::newRow("check of 8 MB of line breaks")
        << QStringList{"check", "breaks.s37"} << qint64(-1) << 65 << "file-refused";
    QTest::newRow("store of a 500 MB file")
        << QStringList{"store", "huge.s37", "--from-start", "--tcp", "127.0.0.1:1"} << qint64(-1)
        << 65 << "file-refused";
    QTest::newRow("flash, flooded in the restart wait")
        << QStringList{"flash", "fw.s37", "--tcp", "TCP", "--reset-wait", "10"} << qint64(-1) << 75
        << "flood";
    QTest::newRow("read-back, flooded")
        << QStringList{"readback", "out.s37", "--tcp", "TCP"} << qint64(-1) << 75 << "flood";
    QTest::newRow("fleet send, 80 ids answering 1 MB, one at a time")
        << fleet << mb << 0 << "success";
    // Eighty at once share 32 MB of answers: more than 400 KB each is a flood.
    QTest::newRow("fleet send, 80 ids answering 3.9 MB, all at once")
        << fleet + QStringList{"--jobs", "80"} << qint64(3.9 * double(mb)) << 75 << "flood";
    QTest::newRow("fleet version, 80 ids that never pause, all at once")
        << QStringList{"version", "--broker", "BROKER", "--id", "1-80", "--jobs", "80"} << qint64(0)
        << 75 << "flood";
}

void CliMemoryTest::worstInputStaysUnder100Mb() {
    QFETCH(QStringList, arguments);
    QFETCH(qint64, answer);
    QFETCH(int, exitCode);
    QFETCH(QString, outcome);
    QTemporaryDir data;
    LoudBroker broker(std::max<qint64>(answer, 0));
    FloodPeer flood;
    QProcess writer; // fills the pipe
    for (QString& a : arguments) {
        if (a == "BROKER" || a == "TCP") {
            a = a == "BROKER" ? broker.address() : flood.address();
        } else if (a == "PIPE") {
            a = data.filePath("pipe");
            QCOMPARE(QProcess::execute("mkfifo", {a}), 0);
            writer.start("sh", {"-c",
                                "yes S113000000000000000000000000000000000000EC | head -c "
                                "600000000 > \"$0\"",
                                a});
        } else if (a.endsWith(".s37") && a != "out.s37") {
            a = dir_.filePath(a);
        }
    }
    CliRun cli(arguments + QStringList{"--data-dir", data.path(), "--json", "-q"});
    cli.samplesMemory = true;
    cli.workingDirectory = data.path();
    const RunResult run = cli.run();
    writer.kill();
    writer.waitForFinished();
    qInfo("%s: peak %lld kB in %lld ms", QTest::currentDataTag(), run.peakKb, run.ms);
    QVERIFY2(run.exitCode == exitCode,
             qPrintable(QStringLiteral("exit %1\n%2").arg(run.exitCode).arg(run.err)));
    QCOMPARE(run.json().value("outcome").toString(), outcome);
#ifndef __SANITIZE_ADDRESS__
    // Under AddressSanitizer freed memory sits in its quarantine: the bound says nothing there.
    QVERIFY2(run.peakKb < 100 * 1024, qPrintable(QString::number(run.peakKb)));
#endif
}

QTEST_GUILESS_MAIN(CliMemoryTest)
#include "tst_cli_memory.moc"
