// The simulator's session in real time, without sockets: when a command without line end is
// taken, when the banner repeats and stops, and the order of answer pieces. Each wait is for
// the event it needs; only the idle gap's own lower bound is measured.
#include "Device.h"
#include "SessionRunner.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

namespace {

devsim::SimOptions quickOptions() {
    devsim::SimOptions options;
    options.idleGapMs = 40;
    options.controller.bannerIntervalMs = 60;
    options.controller.resetDelayMs = 10;
    options.controller.pages = 100;
    return options;
}

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
    devsim::SimOptions options = quickOptions();
    options.idleGapMs = 150;
    devsim::Device device(options.controller, {});
    devsim::SessionRunner runner(device, options, 1);
    runner.startRunning();
    QSignalSpy output(&runner, &devsim::SessionRunner::output);
    runner.receive("PAGEN");
    QTest::qWait(20);
    // The gap starts again with every piece: the answer comes a whole gap after the second.
    QElapsedTimer clock;
    clock.start();
    runner.receive("UM 7");
    QVERIFY(output.wait(5000));
    QVERIFY2(clock.elapsed() >= 140, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(joined(output), QByteArray("PAGENUM=7\r\n"));
}

void DevsimSessionTest::lineEndAnswersAtOnce() {
    devsim::SimOptions options = quickOptions();
    // Far longer than the wait below: an answer that waited for the gap would come too late.
    options.idleGapMs = 60000;
    devsim::Device device(options.controller, {});
    devsim::SessionRunner runner(device, options, 1);
    runner.startRunning();
    QSignalSpy output(&runner, &devsim::SessionRunner::output);
    runner.receive("PAGENUM 7\r\nPAGEADDR 9\r");
    QTRY_COMPARE_WITH_TIMEOUT(joined(output), QByteArray("PAGENUM=7\r\nPAGEADDR=9\r\n"), 10000);
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
    devsim::SimOptions options = quickOptions();
    options.idleGapMs = 60000;
    devsim::Device device(options.controller, {});
    devsim::SessionRunner runner(device, options, 1);
    runner.startRunning();
    QSignalSpy output(&runner, &devsim::SessionRunner::output);
    runner.receiveCommand("PAGENUM 3");
    runner.receiveCommand("PAGEADDR 4\r");
    QTRY_COMPARE_WITH_TIMEOUT(joined(output), QByteArray("PAGENUM=3\r\nPAGEADDR=4\r\n"), 10000);
}

void DevsimSessionTest::droppedAnswersLeaveTheCommandDone() {
    devsim::SimOptions options = quickOptions();
    options.faults.dropEvery = 1;
    devsim::Device device(options.controller, {});
    devsim::SessionRunner runner(device, options, 1);
    runner.startRunning();
    QSignalSpy output(&runner, &devsim::SessionRunner::output);
    runner.receive("PAGEWRITE kept\r");
    QTest::qWait(50);
    QVERIFY(output.isEmpty());
    QCOMPARE(device.storage.read(0, 4), QByteArray("kept"));
    QCOMPARE(runner.controller().interpreter().lineCounter(), 1u);
}

QTEST_GUILESS_MAIN(DevsimSessionTest)
#include "tst_devsim_session.moc"
