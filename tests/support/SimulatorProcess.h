#pragma once

#include <QElapsedTimer>
#include <QProcess>
#include <QStringList>
#include <QTest>

// velkor-devsim as a child process for integration tests: started with the given options, it
// prints one line per way in ("tcp 127.0.0.1:PORT", "broker 127.0.0.1:PORT", "pty /dev/pts/N")
// and then "ready". The addresses are taken from those lines.
class SimulatorProcess {
public:
    explicit SimulatorProcess(const QStringList& options) {
        process_.setProcessChannelMode(QProcess::SeparateChannels);
        process_.start(QStringLiteral(VELKOR_DEVSIM_PATH), options);
        QElapsedTimer clock;
        clock.start();
        QByteArray out;
        while (!out.contains("ready\n") && clock.elapsed() < 10000 &&
               process_.state() != QProcess::NotRunning) {
            process_.waitForReadyRead(100);
            out += process_.readAllStandardOutput();
        }
        for (const QByteArray& line : out.split('\n')) {
            const QList<QByteArray> words = line.trimmed().split(' ');
            if (words.size() == 2) {
                ways_.append({QString::fromLatin1(words[0]), QString::fromLatin1(words[1])});
            }
        }
        ready_ = out.contains("ready\n");
    }
    ~SimulatorProcess() {
        process_.kill();
        process_.waitForFinished(3000);
    }
    SimulatorProcess(const SimulatorProcess&) = delete;
    SimulatorProcess& operator=(const SimulatorProcess&) = delete;

    bool ready() const { return ready_; }
    // The address printed for a way in ("tcp", "broker", "pty"), empty when none.
    QString address(const QString& way) const {
        for (const auto& w : ways_) {
            if (w.first == way) {
                return w.second;
            }
        }
        return QString();
    }
    QString errors() { return QString::fromLocal8Bit(process_.readAllStandardError()); }

private:
    QProcess process_;
    QList<QPair<QString, QString>> ways_;
    bool ready_ = false;
};
