// velkor-cli as a process: help, version, and the exit code of a usage error.
#include "CliRun.h"

#include <QFileInfo>
#include <QTest>

class CliBasicsTest : public QObject {
    Q_OBJECT
private slots:
    void exitCodesAndStreams_data();
    void exitCodesAndStreams();
};

void CliBasicsTest::exitCodesAndStreams_data() {
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("stdoutHas");
    QTest::addColumn<QString>("stderrHas");
    QTest::newRow("help") << QStringList{QStringLiteral("--help")} << 0
                          << QStringLiteral("Exit codes:") << QString();
    QTest::newRow("version") << QStringList{QStringLiteral("--version")} << 0
                             << QStringLiteral("velkor-cli 1.97") << QString();
    // The build tree is a folder of our own: the data stays beside the executable.
    QTest::newRow("version names the data folder")
        << QStringList{QStringLiteral("--version")} << 0
        << QStringLiteral("data folder: ") +
               QFileInfo(QStringLiteral(VELKOR_CLI_PATH)).absolutePath()
        << QString();
    QTest::newRow("no subcommand")
        << QStringList{} << 64 << QString() << QStringLiteral("Usage: velkor-cli");
    QTest::newRow("unknown subcommand")
        << QStringList{QStringLiteral("frobnicate")} << 64 << QString()
        << QStringLiteral("unknown subcommand \"frobnicate\"");
    // Bad option values are refused before anything is sent anywhere.
    QTest::newRow("hardware id not a number")
        << QStringList{"send", "VER", "--broker", "127.0.0.1", "--id", "12a"} << 64 << QString()
        << QStringLiteral("is not a hardware id");
    QTest::newRow("empty hardware id")
        << QStringList{"send", "VER", "--broker", "127.0.0.1", "--id", ""} << 64 << QString()
        << QStringLiteral("--id");
    QTest::newRow("port out of range") << QStringList{"send", "VER", "--tcp", "127.0.0.1:70000"}
                                       << 64 << QString() << QStringLiteral("is not a port number");
    QTest::newRow("negative timeout")
        << QStringList{"send", "VER", "--tcp", "127.0.0.1", "--timeout", "-5"} << 64 << QString()
        << QStringLiteral("--timeout");
}

void CliBasicsTest::exitCodesAndStreams() {
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, stdoutHas);
    QFETCH(QString, stderrHas);
    CliRun cli(arguments);
    cli.limitMs = 10000;
    const RunResult run = cli.run();
    QVERIFY(run.finished);
    QCOMPARE(run.exitCode, exitCode);
    QVERIFY(QString::fromLocal8Bit(run.out).contains(stdoutHas));
    QVERIFY(run.err.contains(stderrHas));
}

QTEST_GUILESS_MAIN(CliBasicsTest)
#include "tst_cli_basics.moc"
