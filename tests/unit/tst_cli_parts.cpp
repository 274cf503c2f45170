// Parts of velkor-cli without a process: the id lists of fleets, the flags the dispatcher takes,
// and the counts the progress display reads from the model.
#include "TestLoader.h"
#include "cli/CliResult.h"
#include "cli/ExitCodes.h"
#include "cli/GlobalFlags.h"
#include "cli/HostPort.h"
#include "cli/IdList.h"
#include "cli/ProgressDisplay.h"
#include "cli/UsageError.h"

#include <QTest>

Q_DECLARE_METATYPE(Outcome)

using Ids = QList<std::uint32_t>;

class CliPartsTest : public QObject {
    Q_OBJECT
private slots:
    void idLists_data();
    void idLists();
    void hostsAndPorts_data();
    void hostsAndPorts();
    void globalFlags();
    void countsComeFromProgressEvents();
    void durations();
    void outcomesGiveExitCodesAndWords_data();
    void outcomesGiveExitCodesAndWords();
};

void CliPartsTest::idLists_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<Ids>("ids"); // empty: a usage error
    QTest::newRow("one") << "7" << Ids{7};
    QTest::newRow("list and range in the order given") << "3,7,10-12" << Ids{3, 7, 10, 11, 12};
    QTest::newRow("named twice taken once") << "5,1-3,2" << Ids{5, 1, 2, 3};
    QTest::newRow("range of one") << "4-4" << Ids{4};
    QTest::newRow("blanks around") << " 1 , 2 " << Ids{1, 2};
    QTest::newRow("largest id") << "4294967295" << Ids{4294967295U};
    QTest::newRow("range ending at the largest id")
        << "4294967294-4294967295" << Ids{4294967294U, 4294967295U};
    QTest::newRow("beyond 32 bits") << "4294967296" << Ids{};
    QTest::newRow("backwards") << "9-3" << Ids{};
    QTest::newRow("empty") << "" << Ids{};
    QTest::newRow("empty item") << "1,,2" << Ids{};
    QTest::newRow("negative") << "-3" << Ids{};
    QTest::newRow("plus sign") << "+3" << Ids{};
    QTest::newRow("hex") << "0x10" << Ids{};
    QTest::newRow("too many") << "1-1001" << Ids{};
    Ids thousand;
    for (std::uint32_t id = 1; id <= 1000; ++id) {
        thousand.append(id);
    }
    QTest::newRow("exactly the limit") << "1-1000" << thousand;
}

void CliPartsTest::idLists() {
    QFETCH(QString, text);
    QFETCH(Ids, ids);
    if (ids.isEmpty()) {
        QVERIFY_THROWS_EXCEPTION(UsageError, IdList::parse(text));
    } else {
        QCOMPARE(IdList::parse(text), ids);
    }
}

void CliPartsTest::hostsAndPorts_data() {
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("host"); // empty: a usage error
    QTest::addColumn<int>("port");
    QTest::newRow("name alone") << "broker.example"
                                << "broker.example" << 10001;
    QTest::newRow("IPv4 and port") << "127.0.0.1:5"
                                   << "127.0.0.1" << 5;
    QTest::newRow("IPv6 in brackets with a port") << "[::1]:5"
                                                  << "::1" << 5;
    QTest::newRow("IPv6 in brackets alone") << "[fe80::1%eth0]"
                                            << "fe80::1%eth0" << 10001;
    QTest::newRow("IPv6 alone: ::1 is no port 1") << "::1"
                                                  << "::1" << 10001;
    QTest::newRow("IPv6 alone, last group a number") << "fd00::2:10002"
                                                     << "fd00::2:10002" << 10001;
    QTest::newRow("bracket not closed") << "[::1:5"
                                        << "" << 0;
    QTest::newRow("text after the bracket") << "[::1]5"
                                            << "" << 0;
    QTest::newRow("empty brackets") << "[]:5"
                                    << "" << 0;
    QTest::newRow("port 0 in brackets") << "[::1]:0"
                                        << "" << 0;
    QTest::newRow("no port after the colon") << "[::1]:"
                                             << "" << 0;
    QTest::newRow("no host") << ":5"
                             << "" << 0;
    QTest::newRow("port too large") << "host:65536"
                                    << "" << 0;
}

void CliPartsTest::hostsAndPorts() {
    QFETCH(QString, value);
    QFETCH(QString, host);
    QFETCH(int, port);
    if (host.isEmpty()) {
        QVERIFY_THROWS_EXCEPTION(UsageError, HostPort::parse(value, QStringLiteral("tcp"), 10001));
        return;
    }
    const HostPort parsed = HostPort::parse(value, QStringLiteral("tcp"), 10001);
    QCOMPARE(parsed.host, host);
    QCOMPARE(int(parsed.port), port);
}

void CliPartsTest::globalFlags() {
    QStringList args{"store", "f.s37", "--json", "--jobs",      "3",
                     "-q",    "--id",  "4-6",    "--from-start"};
    GlobalFlags flags = GlobalFlags::take(args);
    QVERIFY(flags.json && flags.quiet);
    QCOMPARE(flags.fleetOptions.jobs, 3);
    QCOMPARE(flags.fleet, (Ids{4, 5, 6}));
    QCOMPARE(args, (QStringList{"store", "f.s37", "-q", "--from-start"}));

    QStringList one{"send", "--id=07", "--jobs=2", "V"};
    flags = GlobalFlags::take(one);
    QVERIFY(flags.fleet.isEmpty());
    QCOMPARE(one, (QStringList{"send", "--id", "7", "V"}));

    // After "--" everything is the subcommand's.
    QStringList after{"send", "--", "--json"};
    QVERIFY(!GlobalFlags::take(after).json);
    QCOMPARE(after.size(), 3);

    for (const char* bad : {"0", "1025", "x"}) {
        QStringList jobs{"send", "--jobs", bad};
        QVERIFY_THROWS_EXCEPTION(UsageError, GlobalFlags::take(jobs));
    }
    QStringList missing{"send", "--jobs"};
    QVERIFY_THROWS_EXCEPTION(UsageError, GlobalFlags::take(missing));
}

void CliPartsTest::countsComeFromProgressEvents() {
    TestLoader t;
    Loader& loader = t.loader;
    ProgressDisplay display(loader, ProgressDisplay::Mode::Lines);
    qint64 done = 0;
    qint64 total = 0;
    QVERIFY(!display.counts(done, total)); // nothing counted yet
    // The status texts are not read: a counter-like message counts nothing.
    loader.setStatus(3, QStringLiteral("1234:5678"));
    loader.form.ProgressBar1.setMaximum(40);
    loader.form.ProgressBar1.setPosition(10);
    QVERIFY(!display.counts(done, total));
    loader.showProgress(ProgressEvent{1234, 5678, std::nullopt, std::nullopt});
    QVERIFY(display.counts(done, total));
    QCOMPARE(done, 1234);
    QCOMPARE(total, 5678);
    QCOMPARE(loader.form.Status[0], QStringLiteral("1234:5678")); // the window's counter
}

void CliPartsTest::durations() {
    QCOMPARE(ProgressDisplay::duration(0), QString("0:00"));
    QCOMPARE(ProgressDisplay::duration(1), QString("0:01")); // rounded up: never "0:00 left"
    QCOMPARE(ProgressDisplay::duration(61000), QString("1:01"));
    QCOMPARE(ProgressDisplay::duration(3600000 + 62000), QString("1:01:02"));
}

void CliPartsTest::outcomesGiveExitCodesAndWords_data() {
    QTest::addColumn<Outcome>("outcome");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("word");
    QTest::newRow("success") << Outcome::Success << 0 << "success";
    QTest::newRow("cancelled") << Outcome::Cancelled << 130 << "cancelled";
    QTest::newRow("link lost") << Outcome::LinkLost << 75 << "link-lost";
    QTest::newRow("no answer") << Outcome::NoAnswer << 75 << "no-answer";
    QTest::newRow("refused") << Outcome::Refused << 76 << "refused";
    QTest::newRow("file refused") << Outcome::FileRefused << 65 << "file-refused";
    QTest::newRow("checksum mismatch") << Outcome::ChecksumMismatch << 65 << "checksum-mismatch";
    QTest::newRow("nothing stored") << Outcome::NothingStored << 65 << "nothing-stored";
    QTest::newRow("not found") << Outcome::NotFound << 69 << "not-found";
    QTest::newRow("file error") << Outcome::FileError << 74 << "file-error";
    QTest::newRow("connection failed") << Outcome::ConnectionFailed << 69 << "connection-failed";
}

// The shell's exit code and outcome word come from the typed outcome alone: a result whose
// status text says anything at all exits by its outcome.
void CliPartsTest::outcomesGiveExitCodesAndWords() {
    QFETCH(Outcome, outcome);
    QFETCH(int, exitCode);
    QFETCH(QString, word);
    TestLoader t;
    OperationResult operation;
    operation.outcome = outcome;
    operation.text = QStringLiteral("Операция выполнена за 00:00:01"); // a misleading caption
    const CliResult result = CliResult::ofOperation(operation, t.loader);
    QCOMPARE(result.exitCode, exitCode);
    QCOMPARE(result.outcome, word);
    QCOMPARE(result.toJson(QStringLiteral("flash"), 0).value("outcome").toString(), word);
}

QTEST_GUILESS_MAIN(CliPartsTest)
#include "tst_cli_parts.moc"
