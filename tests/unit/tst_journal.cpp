// The operation journal: the four-line entry, its parameters per connection kind, appending,
// and the failure that the driver reports.
#include "TestLoader.h"
#include "core/Cp1251.h"
#include "core/TimeFormat.h"

#include <QDir>
#include <QFile>
#include <QTest>

class JournalTest : public QObject {
    Q_OBJECT
private slots:
    void entryHasFourLinesWithTheParamsOfTheVisiblePage_data();
    void entryHasFourLinesWithTheParamsOfTheVisiblePage();
    void laterEntriesAreAppended();
    void unwritableJournalIsReportedAndTheOperationStillEnds();
};

void JournalTest::entryHasFourLinesWithTheParamsOfTheVisiblePage_data() {
    QTest::addColumn<int>("page");
    QTest::addColumn<QString>("params");
    QTest::newRow("serial") << 0 << QStringLiteral("Port:COM3 Baud: 57600");
    QTest::newRow("TCP/IP") << 1 << QStringLiteral("IP:10.0.0.7 Port: 10001");
    QTest::newRow("broker first start")
        << 2 << QStringLiteral("Broker IP:192.168.0.100 Port: 10002 ID: 0");
}

void JournalTest::entryHasFourLinesWithTheParamsOfTheVisiblePage() {
    QFETCH(int, page);
    QFETCH(QString, params);
    TestLoader t;
    t.form().setConnectionKind(page);
    t.form().cmbComPort.text = QStringLiteral("COM3");
    t.form().cmbBaudRate.text = QStringLiteral("57600");
    t.form().IPEdit.text = QStringLiteral("10.0.0.7");
    t.form().PortNum.text = QStringLiteral("10000.6");
    t.loader.journal.WriteJournal(QStringLiteral("Операция выполнена за 00:00:05"));

    QFile file(t.loader.journal.path());
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QDateTime now = t.runtime.now();
    const QByteArray expected =
        QByteArray(60, '-') + "\r\n" + "Date:" + Cp1251::encode(TimeFormat::shortDate(now.date())) +
        " " + now.time().toString(QStringLiteral("HH:mm:ss")).toLatin1() + "\r\n" +
        "Params:" + params.toLatin1() + "\r\n" +
        "Msg:\xCE\xEF\xE5\xF0\xE0\xF6\xE8\xFF \xE2\xFB\xEF\xEE\xEB\xED\xE5\xED\xE0 \xE7\xE0 "
        "00:00:05\r\n";
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

void JournalTest::unwritableJournalIsReportedAndTheOperationStillEnds() {
    TestLoader t;
    // A folder where the journal file should be: opening it for appending fails, also as root.
    QVERIFY(QDir(t.dataDir.path()).mkdir(QStringLiteral("velkor.jnl")));
    t.press();
    QVERIFY(t.form().Status[3].startsWith(QStringLiteral("Ошибка ")));
    QVERIFY(t.form().Status[3].size() > 7);
    QVERIFY(!t.state().OperationActive);
    QVERIFY(t.form().btnConnect.dropDown);
}

QTEST_GUILESS_MAIN(JournalTest)
#include "tst_journal.moc"
