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

QTEST_GUILESS_MAIN(DevsimSessionTest)
#include "tst_devsim_session.moc"
