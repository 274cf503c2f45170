// velkor-cli check and header as processes on generated files: exit codes, what goes to
// standard output, and what the file holds afterwards.
#include "CliRun.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class CliFirmwareTest : public QObject {
    Q_OBJECT
private slots:
    void fileCommands_data();
    void fileCommands();
};

void CliFirmwareTest::fileCommands_data() {
    QTest::addColumn<QByteArray>("content");
    // FILE stands for the generated file; -FILE for a copy whose name begins with a dash.
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("output");
    QTest::addColumn<QString>("errorHas");
    QTest::addColumn<QByteArray>("contentAfter");
    const QByteArray sound = "S00441424335\r\nS1050000AABB95\r\nS9030000FC\r\n";
    const QByteArray bad = "S00441424335\r\nS1050000AABB96\r\n";
    const QString f = QStringLiteral("FILE");
    QTest::newRow("check sound") << sound << QStringList{QStringLiteral("check"), f} << 0
                                 << QStringLiteral("header: ABC\nheader-line: 0\nrecords: 3\n")
                                 << QStringLiteral("Файл в порядке") << sound;
    QTest::newRow("check bad checksum")
        << bad << QStringList{QStringLiteral("check"), f} << 65 << QString()
        << QStringLiteral("Не совпадает контрольная сумма строки:1") << bad;
    QTest::newRow("check empty file")
        << QByteArray() << QStringList{QStringLiteral("check"), f} << 65 << QString()
        << QStringLiteral("refused") << QByteArray();
    QTest::newRow("check missing file")
        << QByteArray()
        << QStringList{QStringLiteral("check"), QStringLiteral("/nonexistent/x.s28")} << 74
        << QString() << QStringLiteral("/nonexistent/x.s28") << QByteArray();
    QTest::newRow("check of a name that begins with a dash, after --")
        << sound
        << QStringList{QStringLiteral("check"), QStringLiteral("--"), QStringLiteral("-FILE")} << 0
        << QStringLiteral("header: ABC\nheader-line: 0\nrecords: 3\n") << QString() << sound;
    QTest::newRow("check without file") << sound << QStringList{QStringLiteral("check")} << 64
                                        << QString() << QStringLiteral("firmware file") << sound;
    QTest::newRow("header show") << sound << QStringList{QStringLiteral("header"), f} << 0
                                 << QStringLiteral("ABC\n") << QString() << sound;
    QTest::newRow("header set")
        << sound
        << QStringList{QStringLiteral("header"), f, QStringLiteral("--set"),
                       QStringLiteral("UNIT:A1 Я")}
        << 0 << QStringLiteral("UNIT:A1 Я\n") << QString()
        << QByteArray("S00A554E49543A413120DF0A\r\nS1050000AABB95\r\nS9030000FC\r\n");
    QTest::newRow("header set on a refused file")
        << bad
        << QStringList{QStringLiteral("header"), f, QStringLiteral("--set"), QStringLiteral("X")}
        << 65 << QString() << QStringLiteral("refused") << bad;
    // The seven-line file with a NUL after its third record: refused, never cut.
    const QByteArray withNul = sound + QByteArray("\0", 1) + sound + "S9030000FC\r\n";
    QTest::newRow("check with a NUL")
        << withNul << QStringList{QStringLiteral("check"), f} << 65 << QString()
        << QStringLiteral("Нулевой байт в строке:3") << withNul;
    QTest::newRow("header set on a file with a NUL")
        << withNul
        << QStringList{QStringLiteral("header"), f, QStringLiteral("--set"), QStringLiteral("X")}
        << 65 << QString() << QStringLiteral("Нулевой байт в строке:3") << withNul;
    QTest::newRow("header set without text")
        << sound << QStringList{QStringLiteral("header"), f, QStringLiteral("--set")} << 64
        << QString() << QStringLiteral("--set") << sound;
}

void CliFirmwareTest::fileCommands() {
    QFETCH(QByteArray, content);
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, output);
    QFETCH(QString, errorHas);
    QFETCH(QByteArray, contentAfter);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("fw.s28"));
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    QVERIFY(QFile::copy(path, dir.filePath(QStringLiteral("-fw.s28"))));
    arguments.replaceInStrings(QStringLiteral("-FILE"), QStringLiteral("-fw.s28"));
    arguments.replaceInStrings(QStringLiteral("FILE"), path);
    CliRun cli(arguments);
    cli.workingDirectory = dir.path();
    cli.dataDir = dir.filePath(QStringLiteral("data"));
    cli.limitMs = 10000;
    const RunResult run = cli.run();
    QVERIFY(run.finished);
    QVERIFY2(run.exitCode == exitCode, qPrintable(run.err));
    QCOMPARE(QString::fromUtf8(run.out), output);
    QVERIFY2(run.err.contains(errorHas), qPrintable(run.err));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), contentAfter);
}

QTEST_GUILESS_MAIN(CliFirmwareTest)
#include "tst_cli_firmware.moc"
