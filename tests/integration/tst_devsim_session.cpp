// The simulator's session in real time, without sockets: when a command without line end is
// taken, when the banner repeats and stops, and the order of answer pieces. Each wait is for
// the event it needs; only the idle gap's own lower bound is measured.
#include "Device.h"
#include "SessionRunner.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

namespace {

devsim::SimOptions quickOptions(int idleGapMs = 40) {
    devsim::SimOptions options;
    options.idleGapMs = idleGapMs;
    options.controller.bannerIntervalMs = 60;
    options.controller.resetDelayMs = 10;
    options.controller.pages = 100;
    return options;
}

// A session whose interpreter already runs, its output recorded from then on.
struct RunningSession {
    explicit RunningSession(const devsim::SimOptions& given)
        : options(given), device(options.controller, {}), runner(device, options, 1) {
        runner.startRunning();
        output.clear();
    }
    devsim::SimOptions options;
    devsim::Device device;
    devsim::SessionRunner runner;
    QSignalSpy output{&runner, &devsim::SessionRunner::output};
};

QByteArray joined(const QSignalSpy& spy) {
    QByteArray bytes;
    for (const QList<QVariant>& call : spy) {
        bytes += call.at(0).toByteArray();
    }
    return bytes;
}

} // namespace

class DevsimSessionTest : public QObject {
    Q_OBJECT
private slots:
    void commandWithoutLineEndWaitsForTheIdleGap();
    void lineEndAnswersAtOnce();
    void bannerRepeatsUntilTheFirstCommandAndAfterReset();
    void wholeCommandFromAFrameNeedsNoGap();
    void droppedAnswersLeaveTheCommandDone();
    void targetedFaultHitsOneAnswerAcrossSessions_data();
    void targetedFaultHitsOneAnswerAcrossSessions();
};

void DevsimSessionTest::commandWithoutLineEndWaitsForTheIdleGap() {
    RunningSession session(quickOptions(400));
    devsim::SessionRunner& runner = session.runner;
    runner.receive("PAGEN");
    QTest::qWait(20);
    // The gap starts again with every piece: the answer comes a whole gap after the second.
    QElapsedTimer clock;
    clock.start();
    runner.receive("UM 7");
    QVERIFY(session.output.wait(5000));
    QVERIFY2(clock.elapsed() >= 390, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(joined(session.output), QByteArray("PAGENUM=7\r\n"));
}

void DevsimSessionTest::lineEndAnswersAtOnce() {
    // Far longer than the wait below: an answer that waited for the gap would come too late.
    RunningSession session(quickOptions(60000));
    session.runner.receive("PAGENUM 7\r\nPAGEADDR 9\r");
    QTRY_COMPARE_WITH_TIMEOUT(joined(session.output), QByteArray("PAGENUM=7\r\nPAGEADDR=9\r\n"),
                              10000);
}

void DevsimSessionTest::bannerRepeatsUntilTheFirstCommandAndAfterReset() {
    const devsim::SimOptions options = quickOptions();
    devsim::Device device(options.controller, {});
    devsim::SessionRunner runner(device, options, 1);
    QSignalSpy output(&runner, &devsim::SessionRunner::output);
    runner.start();
    QTRY_VERIFY_WITH_TIMEOUT(joined(output).count("UNIT:") >= 3, 1000);
    runner.receive("VER\r");
    QTRY_VERIFY_WITH_TIMEOUT(joined(output).contains("\r\nVER ") && joined(output).endsWith("\r\n"),
                             5000);
    output.clear();
    QTest::qWait(150);
    QVERIFY(output.isEmpty());
    runner.receive("RESET\r");
    QTRY_VERIFY_WITH_TIMEOUT(joined(output).count("UNIT:") >= 2, 1000);
    QVERIFY(joined(output).startsWith("RESET\r\n"));
    runner.receive("i\r");
    QTRY_VERIFY_WITH_TIMEOUT(joined(output).endsWith("BIOS>"), 1000);
    QCOMPARE(runner.controller().mode(), devsim::Controller::Mode::Bootloader);
}

void DevsimSessionTest::wholeCommandFromAFrameNeedsNoGap() {
    RunningSession session(quickOptions(60000));
    session.runner.receiveCommand("PAGENUM 3");
    session.runner.receiveCommand("PAGEADDR 4\r");
    QTRY_COMPARE_WITH_TIMEOUT(joined(session.output), QByteArray("PAGENUM=3\r\nPAGEADDR=4\r\n"),
                              10000);
}

void DevsimSessionTest::droppedAnswersLeaveTheCommandDone() {
    devsim::SimOptions options = quickOptions();
    options.faults.dropEvery = 1;
    RunningSession session(options);
    session.runner.receive("PAGEWRITE kept\r");
    QTest::qWait(50);
    QVERIFY(session.output.isEmpty());
    QCOMPARE(session.device.storage.read(0, 4), QByteArray("kept"));
    QCOMPARE(session.runner.controller().interpreter().lineCounter(), 1u);
}

void DevsimSessionTest::targetedFaultHitsOneAnswerAcrossSessions_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QByteArray>("output"); // the second session's, all written
    QTest::addColumn<int>("writes");
    QTest::addColumn<bool>("damaged"); // the first write
    QTest::addColumn<QByteArray>("stored");
    const QByteArray write = "OK STR:1 NUM:0 ADDR:2\r\n";
    const QByteArray page = "PAGENUM=0\r\n";
    QTest::newRow("lost") << QStringLiteral("lost") << page << 1 << false << QByteArray("cd");
    QTest::newRow("late, after the next answer")
        << QStringLiteral("late") << page + write << 2 << false << QByteArray("cd");
    QTest::newRow("doubled") << QStringLiteral("doubled") << write + write + page << 3 << false
                             << QByteArray("cd");
    QTest::newRow("cut") << QStringLiteral("cut") << write + page << 3 << false << QByteArray("cd");
    QTest::newRow("damaged") << QStringLiteral("damaged") << write + page << 2 << true
                             << QByteArray("cd");
    QTest::newRow("refused, not done")
        << QStringLiteral("refused") << "ERR injected\r\n" + page << 2 << false << QByteArray("ab");
}

// The fault aims at the second page write of the device: the first comes in a session of its
// own, so the count must outlive it.
void DevsimSessionTest::targetedFaultHitsOneAnswerAcrossSessions() {
    QFETCH(QString, kind);
    QFETCH(QByteArray, output);
    QFETCH(int, writes);
    QFETCH(bool, damaged);
    QFETCH(QByteArray, stored);
    devsim::SimOptions options = quickOptions();
    QString error;
    options.faults.targeted = {*devsim::parseTargetedFault("PAGEWRITE:2:" + kind, &error)};
    options.faults.lateMs = 80;
    options.faults.cutGapMs = 30;
    devsim::Device device(options.controller, {}, options.faults.targeted);
    {
        devsim::SessionRunner first(device, options, 1);
        QSignalSpy answered(&first, &devsim::SessionRunner::output);
        first.startRunning();
        first.receive("PAGEWRITE ab\r");
        QVERIFY(answered.wait(2000));
    }
    devsim::SessionRunner second(device, options, 2);
    QSignalSpy out(&second, &devsim::SessionRunner::output);
    second.startRunning();
    second.receive("PAGEWRITE cd\rPAGENUM 0\r");
    QTRY_COMPARE_WITH_TIMEOUT(joined(out), output, 2000);
    QTest::qWait(150); // nothing more comes
    QCOMPARE(joined(out), output);
    QCOMPARE(out.size(), writes);
    QCOMPARE(out.front().at(1).toBool(), damaged);
    QCOMPARE(device.storage.read(0, 2), stored);
}

QTEST_GUILESS_MAIN(DevsimSessionTest)
#include "tst_devsim_session.moc"
