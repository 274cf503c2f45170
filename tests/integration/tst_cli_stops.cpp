// One stop signal ends velkor-cli wherever it waits outside its event loop: a FIFO or a pipe it
// writes into and nobody reads, standard error nobody reads, a FIFO it reads from and nobody
// writes, a FIFO in place of the journal, the password prompt on a terminal. Each row measures
// the time from the signal to the exit and checks the journal entry and the resume position.
#include "CliRun.h"
#include "DevsimProcess.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

// A FIFO whose reader this test holds open and never reads, shrunk to two pages: a writer
// blocks once it has written a page and begun the second.
class StalledFifo {
public:
    explicit StalledFifo(const QString& path) : path_(path) {
        if (QProcess::execute(QStringLiteral("mkfifo"), {path}) == 0) {
            fd_ = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK);
            ::fcntl(fd_, F_SETPIPE_SZ, 8192);
        }
    }
    ~StalledFifo() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    bool full() const {
        int queued = 0;
        return ::ioctl(fd_, FIONREAD, &queued) == 0 && queued >= 4096;
    }
    const QString& path() const { return path_; }

private:
    QString path_;
    int fd_ = -1;
};

// A pseudo-terminal whose other side this test holds: standard input of a prompt.
class Terminal {
public:
    Terminal() {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (master_ >= 0 && ::grantpt(master_) == 0 && ::unlockpt(master_) == 0) {
            path_ = QString::fromLocal8Bit(::ptsname(master_));
        }
    }
    ~Terminal() { ::close(master_); }
    const QString& path() const { return path_; }
    bool echoes() const {
        const int fd = ::open(QFile::encodeName(path_).constData(), O_RDWR | O_NOCTTY);
        termios settings{};
        const bool on = ::tcgetattr(fd, &settings) == 0 && (settings.c_lflag & ECHO) != 0;
        ::close(fd);
        return on;
    }

private:
    int master_ = -1;
    QString path_;
};

// The entries in the journal; none while it is no regular file (reading a FIFO would wait).
int journalEntries(const QString& dataDir) {
    QFile file(dataDir + QStringLiteral("/velkor.jnl"));
    return QFileInfo(file).isFile() && file.open(QIODevice::ReadOnly)
               ? int(file.readAll().count("Msg:"))
               : 0;
}

} // namespace

class CliStopsTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void oneSignalEndsTheRun_data();
    void oneSignalEndsTheRun();

private:
    QTemporaryDir dir_;
};

void CliStopsTest::initTestCase() {
    QVERIFY(dir_.isValid());
    // Enough text for a store's messages to fill a stalled pipe (fw), and for a read-back to
    // fill it (short).
    for (const auto& [name, records] : {std::pair{"fw.s37", "1000"}, {"short.s37", "300"}}) {
        CliRun sample({"sample", dir_.filePath(name), "--records", records, "--header",
                       "UNIT:LUMET52 demo 2.1"});
        QCOMPARE(sample.run().exitCode, 0);
    }
}

void CliStopsTest::oneSignalEndsTheRun_data() {
    QTest::addColumn<QString>("place");
    QTest::addColumn<int>("signal"); // 0: none needed, the run must not wait at all
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<int>("entries");    // journal entries of this run
    QTest::addColumn<bool>("resumable"); // the result object has the store's resume position
    QTest::newRow("read-back into a FIFO nobody reads")
        << "readback fifo" << SIGTERM << 143 << 1 << false;
    QTest::newRow("read-back to standard output, a pipe nobody reads")
        << "readback stdout" << SIGHUP << 129 << 1 << false;
    QTest::newRow("store with standard error nobody reads")
        << "store stderr" << SIGTERM << 143 << 1 << true;
    QTest::newRow("the journal is a FIFO") << "journal fifo" << 0 << 74 << 0 << false;
    QTest::newRow("--init-commands names a FIFO nobody writes")
        << "init fifo" << SIGTERM << 143 << 0 << false;
    QTest::newRow("flash of a FIFO nobody writes") << "flash fifo" << SIGINT << 130 << 0 << false;
    QTest::newRow("the password prompt") << "prompt" << SIGTERM << 143 << 1 << false;
}

void CliStopsTest::oneSignalEndsTheRun() {
    QFETCH(QString, place);
    QFETCH(int, signal);
    QFETCH(int, exitCode);
    QFETCH(int, entries);
    QFETCH(bool, resumable);
    const bool prompt = place == "prompt";
    DevsimProcess sim(prompt ? QStringList{"--tcp", "0", "--password", "secret"}
                             : QStringList{"--tcp", "0"});
    QTemporaryDir data;
    const QStringList link{"--tcp", sim.tcpAddress(), "--data-dir", data.path(), "--fast"};
    const QString firmware = dir_.filePath("fw.s37");
    if (place.startsWith("readback")) {
        const QString stored = dir_.filePath("short.s37");
        QCOMPARE(CliRun(QStringList{"store", stored, "--from-start", "-q"} + link).run().exitCode,
                 0);
    }
    const int before = journalEntries(data.path());
    StalledFifo fifo(data.filePath(place == "journal fifo" ? "velkor.jnl" : "stalled"));
    Terminal terminal;
    QStringList arguments;
    if (place == "readback fifo") {
        arguments = {"readback", fifo.path(), "--json"};
    } else if (place == "readback stdout") {
        arguments = {"readback", "-"};
    } else if (place == "store stderr" || prompt) {
        arguments = {"store", firmware, "--from-start", "--json"};
    } else if (place == "journal fifo") {
        arguments = {"send", "VER\\r", "--json"};
    } else if (place == "init fifo") {
        arguments = {"store", firmware, "--from-start", "--init-commands", fifo.path(), "--json"};
    } else {
        arguments = {"flash", fifo.path(), "--json"};
    }
    CliRun cli(arguments + link);
    cli.outputFile = place == "readback stdout" ? fifo.path() : QString();
    cli.errorFile = place == "store stderr" ? fifo.path() : QString();
    cli.inputFile = prompt ? terminal.path() : QString();
    qint64 signalledAt = -1;
    const auto ready = [&] {
        if (place == "readback fifo" || place == "readback stdout" || place == "store stderr") {
            return fifo.full();
        }
        return prompt ? cli.errorSoFar().contains("Пароль доступа") : cli.elapsedMs() >= 1000;
    };
    if (signal != 0) {
        cli.when(ready, [&] {
            signalledAt = cli.elapsedMs();
            cli.signal(signal);
        });
    }
    const RunResult run = cli.run();
    QVERIFY2(
        run.exitCode == exitCode,
        qPrintable(
            QStringLiteral("exit %1 after %2 ms\n%3").arg(run.exitCode).arg(run.ms).arg(run.err)));
    const qint64 toExit = run.ms - std::max<qint64>(signalledAt, 0);
    qInfo("%s: %lld ms from the signal (or the start) to the exit", QTest::currentDataTag(),
          toExit);
    QVERIFY2(toExit < 2500, qPrintable(QString::number(toExit)));
    QCOMPARE(journalEntries(data.path()) - before, entries);
    if (place != "readback stdout") {
        QCOMPARE(run.json().contains("resume"), resumable);
        QCOMPARE(run.json().contains("noJournalEntry"), entries == 0 && signal != 0);
    }
    if (prompt) {
        QVERIFY2(terminal.echoes(), "the terminal was left without echo");
    }
    QVERIFY(!QFileInfo(fifo.path()).isFile()); // a FIFO stays a FIFO
}

QTEST_GUILESS_MAIN(CliStopsTest)
#include "tst_cli_stops.moc"
