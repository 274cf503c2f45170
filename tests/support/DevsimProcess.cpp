#include "DevsimProcess.h"

#include "ProcessStatus.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTest>
#include <csignal>
#include <sys/prctl.h>

bool DevsimProcess::start(const QStringList& arguments) {
    // A test that crashes runs no destructor: the simulator ends with the test all the same,
    // instead of listening on for the rest of the machine's life.
    process_.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
    process_.start(QStringLiteral(VELKOR_DEVSIM_PATH), arguments);
    QElapsedTimer clock;
    clock.start();
    QByteArray out;
    while (!ready_ && clock.elapsed() < 10000 && process_.state() != QProcess::NotRunning) {
        process_.waitForReadyRead(100);
        out += process_.readAllStandardOutput();
        readAddresses(out);
    }
    return ready_;
}

void DevsimProcess::readAddresses(const QByteArray& out) {
    for (const QByteArray& line : out.split('\n')) {
        const QByteArray value = line.mid(line.indexOf(' ') + 1).trimmed();
        if (line.startsWith("tcp ")) {
            tcpPort_ = quint16(value.mid(value.lastIndexOf(':') + 1).toUInt());
        } else if (line.startsWith("broker ")) {
            brokerPort_ = quint16(value.mid(value.lastIndexOf(':') + 1).toUInt());
        } else if (line.startsWith("pty ")) {
            ptyPath_ = QString::fromLocal8Bit(value);
        } else if (line.trimmed() == "ready") {
            ready_ = true;
        }
    }
}

DevsimProcess::~DevsimProcess() {
    stop();
}

QString DevsimProcess::tcpAddress() const {
    return QStringLiteral("127.0.0.1:%1").arg(tcpPort_);
}

QString DevsimProcess::brokerAddress() const {
    return QStringLiteral("127.0.0.1:%1").arg(brokerPort_);
}

qint64 DevsimProcess::memoryKb(const QByteArray& field) const {
    return processStatusKb(process_.processId(), field);
}

QString DevsimProcess::errorOutput() {
    return QString::fromLocal8Bit(process_.readAllStandardError());
}

void DevsimProcess::stop() {
    if (process_.state() != QProcess::NotRunning) {
        process_.terminate();
        if (!process_.waitForFinished(3000)) {
            process_.kill();
            process_.waitForFinished(3000);
        }
    }
}
bool storesData(const QString& storage, const QStringList& ids) {
    for (const QString& id : ids) {
        QFile memory(storage + QStringLiteral(".id") + id);
        if (!memory.open(QIODevice::ReadOnly) || !memory.readAll().contains("S315")) {
            return false;
        }
    }
    return true;
}

QByteArray readUntil(QIODevice& device, const std::function<bool(const QByteArray&)>& done,
                     int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    QByteArray bytes = device.readAll();
    while (!done(bytes) && clock.elapsed() < timeoutMs) {
        if (!device.waitForReadyRead(20)) {
            QTest::qWait(1);
        }
        bytes += device.readAll();
    }
    return bytes;
}

QByteArray readQuiet(QIODevice& device, int quietMs, int maxMs) {
    QElapsedTimer clock;
    clock.start();
    QElapsedTimer quiet;
    quiet.start();
    QByteArray bytes;
    while (quiet.elapsed() < quietMs && clock.elapsed() < maxMs) {
        if (!device.waitForReadyRead(5)) {
            QTest::qWait(1);
        }
        const QByteArray more = device.readAll();
        if (!more.isEmpty()) {
            bytes += more;
            quiet.restart();
        }
    }
    return bytes;
}
