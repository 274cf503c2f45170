#pragma once

#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>

// velkor-devsim started for one test: a controller on a free loopback TCP port.
class DevSimProcess {
public:
    ~DevSimProcess() {
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished(3000);
        }
    }

    // Starts the simulator and waits for its "ready" line; the TCP port is then known.
    bool start(const QStringList& extra = {}) {
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start(QStringLiteral(VELKOR_DEVSIM_PATH),
                       QStringList{QStringLiteral("--tcp"), QStringLiteral("0")} + extra);
        QElapsedTimer clock;
        clock.start();
        QByteArray output;
        while (clock.elapsed() < 10000 && process_.state() != QProcess::NotRunning) {
            process_.waitForReadyRead(100);
            output += process_.readAllStandardOutput();
            const QRegularExpressionMatch tcp =
                QRegularExpression(QStringLiteral("tcp 127\\.0\\.0\\.1:(\\d+)"))
                    .match(QString::fromLatin1(output));
            if (tcp.hasMatch()) {
                port = tcp.captured(1).toInt();
            }
            if (output.contains("ready")) {
                return port > 0;
            }
        }
        return false;
    }

    int port = 0;

private:
    QProcess process_;
};
