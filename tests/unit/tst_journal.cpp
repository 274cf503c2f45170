// The operation journal: the four-line entry, its parameters per connection kind, appending,
// and the failure that the driver reports.
#include "TestLoader.h"
#include "core/BaudRates.h"
#include "core/Cp1251.h"
#include "core/LoaderError.h"
#include "core/TimeFormat.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <QFileInfo>
#include <chrono>
#include <thread>

#ifdef Q_OS_UNIX
#include <csignal>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

class JournalTest : public QObject {
    Q_OBJECT
private slots:
    void entryHasFourLinesWithTheParamsOfTheVisiblePage_data();
    void entryHasFourLinesWithTheParamsOfTheVisiblePage();
    void laterEntriesAreAppended();
    void controlCharactersCannotStartALine_data();
    void controlCharactersCannotStartALine();
    void unwritableJournalIsReportedAndTheOperationStillEnds();
    void journalThatCannotBeWrittenSaysWhy_data();
    void journalThatCannotBeWrittenSaysWhy();
};

void JournalTest::entryHasFourLinesWithTheParamsOfTheVisiblePage_data() {
    QTest::addColumn<int>("page");
    QTest::addColumn<QString>("params");
    QTest::addColumn<QString>("note"); // the running operation's note, after the message
    QTest::newRow("serial") << 0 << QStringLiteral("Port:COM3 Baud: 57600") << QString();
    QTest::newRow("TCP/IP") << 1 << QStringLiteral("IP:10.0.0.7 Port: 10001") << QString();
    QTest::newRow("broker first start")
        << 2 << QStringLiteral("Broker IP:192.168.0.100 Port: 10002 ID: 0") << QString();
    QTest::newRow("a flash restarted by command: Params as ever, the note after the message")
        << 2 << QStringLiteral("Broker IP:192.168.0.100 Port: 10002 ID: 0")
        << QStringLiteral("Restart: command");
}

void JournalTest::entryHasFourLinesWithTheParamsOfTheVisiblePage() {
    QFETCH(int, page);
    QFETCH(QString, params);
    QFETCH(QString, note);
    TestLoader t;
    t.loader.journal.messageNote = [note] { return note; };
    t.form().setConnectionKind(*linkKindOfNumber(page));
    t.form().cmbComPort.items = {QStringLiteral("COM1"), QStringLiteral("COM3")};
    t.form().cmbComPort.select(1);
    t.form().cmbBaudRate.select(BaudRates::entryOf(57600));
    t.form().IPEdit.text = QStringLiteral("10.0.0.7");
    t.form().PortNum.text = QStringLiteral("10001");
    t.binding.sync(); // as the window does after every edit
    t.loader.journal.WriteJournal(QStringLiteral("Операция выполнена за 00:00:05"));

    QFile file(t.loader.journal.path());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QDateTime now = t.runtime.now();
    const QByteArray expected =
        QByteArray(60, '-') + "\r\n" + "Date:" + Cp1251::encode(TimeFormat::shortDate(now.date())) +
        " " + now.time().toString(QStringLiteral("HH:mm:ss")).toLatin1() + "\r\n" +
        "Params:" + params.toLatin1() + "\r\n" +
        "Msg:\xCE\xEF\xE5\xF0\xE0\xF6\xE8\xFF \xE2\xFB\xEF\xEE\xEB\xED\xE5\xED\xE0 \xE7\xE0 "
        "00:00:05" +
        (note.isEmpty() ? QByteArray() : " " + note.toLatin1()) + "\r\n";
    QCOMPARE(file.readAll(), expected);
}

void JournalTest::laterEntriesAreAppended() {
    TestLoader t;
    t.loader.journal.WriteJournal(QStringLiteral("first"));
    t.loader.journal.WriteJournal(QStringLiteral("second"));
    QFile file(t.loader.journal.path());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    QCOMPARE(lines.size(), 9); // eight lines and the empty rest after the last break
    QCOMPARE(lines[3], QByteArray("Msg:first\r"));
    QCOMPARE(lines[4], QByteArray(60, '-') + '\r');
    QCOMPARE(lines[7], QByteArray("Msg:second\r"));
}

void JournalTest::controlCharactersCannotStartALine_data() {
    QTest::addColumn<QString>("port");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QByteArray>("params");
    QTest::addColumn<QByteArray>("msg");
    const QString com = QStringLiteral("COM3");
    const QByteArray comParams = "Params:Port:COM3 Baud: 57600";
    QTest::newRow("a forged entry in a send text")
        << com
        << QStringLiteral("Терминал: VER\r\n%1\r\nDate:1 Jan 2020 00:00:00")
               .arg(QString(60, QLatin1Char('-')))
        << comParams
        << "Msg:\xD2\xE5\xF0\xEC\xE8\xED\xE0\xEB: VER\\r\\n" + QByteArray(60, '-') +
               "\\r\\nDate:1 Jan 2020 00:00:00";
    QTest::newRow("lone LF and lone CR")
        << com << QStringLiteral("a\nb\rc") << comParams << QByteArray("Msg:a\\nb\\rc");
    QTest::newRow("other control characters")
        << com << QStringLiteral("\x0B\x0C\x1B\x7F|") << comParams
        << QByteArray("Msg:\\x0B\\x0C\\x1B\\x7F|");
    QTest::newRow("tab and typed escapes stay")
        << com << QStringLiteral("a\tVER\\r") << comParams << QByteArray("Msg:a\tVER\\r");
    QTest::newRow("a port name with a break")
        << QStringLiteral("/dev/x\nMsg:ok") << QStringLiteral("m")
        << QByteArray("Params:Port:/dev/x\\nMsg:ok Baud: 57600") << QByteArray("Msg:m");
}

void JournalTest::controlCharactersCannotStartALine() {
    QFETCH(QString, port);
    QFETCH(QString, message);
    QFETCH(QByteArray, params);
    QFETCH(QByteArray, msg);
    TestLoader t;
    t.loader.choices.link.kind = LinkKind::Serial;
    t.loader.choices.link.serialPort = port;
    t.loader.choices.link.baud = 57600;
    t.loader.journal.WriteJournal(message);
    QFile file(t.loader.journal.path());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray entry = file.readAll();
    QCOMPARE(entry.count('\n'), 4);
    QCOMPARE(entry.count('\r'), 4);
    const QList<QByteArray> lines = entry.split('\n');
    QCOMPARE(lines[2], params + '\r');
    QCOMPARE(lines[3], msg + '\r');
}

void JournalTest::unwritableJournalIsReportedAndTheOperationStillEnds() {
    TestLoader t;
    // A folder where the journal file should be: opening it for appending fails, also as root.
    QVERIFY(QDir(t.dataDir.path()).mkdir(QStringLiteral("velkor.jnl")));
    t.press();
    QVERIFY(t.status(3).startsWith(QStringLiteral("Ошибка журнала: ")));
    QVERIFY(t.status(3).size() > 16);
    QVERIFY(!t.state().OperationActive);
    QVERIFY(t.form().btnConnect.dropDown);
}

// What stands in the journal's place, or holds its lock, and what the failure says; an empty
// reason: the entry is written. Nothing here may hold the writer: a FIFO is refused at once,
// and a lock is waited for only while its holder writes.
void JournalTest::journalThatCannotBeWrittenSaysWhy_data() {
    QTest::addColumn<QString>("place");
    QTest::addColumn<QString>("reason");
    QTest::newRow("a FIFO nobody reads") << "fifo"
                                         << "не обычный файл";
    QTest::newRow("a FIFO a process reads") << "read fifo"
                                            << "не обычный файл";
    // A file size limit of 0 fails the write as a full disk does (also for root).
    QTest::newRow("a write the system refuses") << "size limit" << qt_error_string(EFBIG);
    QTest::newRow("a writer holds the lock and writes nothing") << "stalled"
                                                                << "занят";
    QTest::newRow("writers take turns longer than the stall bound") << "turns"
                                                                    << "";
}

void JournalTest::journalThatCannotBeWrittenSaysWhy() {
#ifdef Q_OS_UNIX
    QFETCH(QString, place);
    QFETCH(QString, reason);
    TestLoader t;
    t.loader.journal.lockStallMs = 300;
    const QByteArray path = QFile::encodeName(t.loader.journal.path());
    int reader = -1;
    if (place.endsWith("fifo")) {
        QCOMPARE(::mkfifo(path.constData(), 0600), 0);
        reader = place == "read fifo" ? ::open(path.constData(), O_RDONLY | O_NONBLOCK) : -1;
    }
    // Another writer: holds the lock for 900 ms, appending every 100 ms when taking turns.
    std::thread holder;
    if (place == "stalled" || place == "turns") {
        const int fd = ::open(path.constData(), O_WRONLY | O_APPEND | O_CREAT, 0600);
        QCOMPARE(::flock(fd, LOCK_EX), 0);
        holder = std::thread([fd, writes = place == "turns"] {
            for (int i = 0; i < 9; ++i) {
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
                if (writes) {
                    (void)!::write(fd, "x\r\n", 3);
                }
            }
            ::close(fd);
        });
    }
    rlimit saved{};
    QVERIFY(getrlimit(RLIMIT_FSIZE, &saved) == 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    if (place == "size limit") {
        rlimit limited = saved;
        limited.rlim_cur = 0;
        QVERIFY(setrlimit(RLIMIT_FSIZE, &limited) == 0);
    }
    QString error;
    try {
        t.loader.journal.WriteJournal(QStringLiteral("m"));
    } catch (const LoaderError& e) {
        error = e.text();
    }
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);
    if (holder.joinable()) {
        holder.join();
    }
    if (reader >= 0) {
        ::close(reader);
    }
    QVERIFY2(reason.isEmpty() ? error.isEmpty() : error.contains(reason), qPrintable(error));
    QCOMPARE(QFileInfo(t.loader.journal.path()).isFile(), !place.endsWith("fifo"));
#else
    QSKIP("needs FIFOs and file locks");
#endif
}

QTEST_GUILESS_MAIN(JournalTest)
#include "tst_journal.moc"
