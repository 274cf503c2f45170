#include "DevsimProcess.h"

#include <QElapsedTimer>
#include <QTest>

DevsimProcess::DevsimProcess(const QStringList& arguments) {
    process_.start(QStringLiteral(VELKOR_DEVSIM_PATH), arguments);
    QElapsedTimer clock;
    clock.start();
    QByteArray out;
    while (!ready_ && clock.elapsed() < 5000 && process_.state() != QProcess::NotRunning) {
        process_.waitForReadyRead(100);
        out += process_.readAllStandardOutput();
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
}

DevsimProcess::~DevsimProcess() {
    stop();
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
