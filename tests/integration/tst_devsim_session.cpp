// The simulator's session in real time, without sockets: when a command without line end is
// taken, when the banner repeats and stops, and the order of answer pieces.
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
    QElapsedTimer clock;
    clock.start();
    runner.receive("PAGEN");
    QTest::qWait(20);
    runner.receive("UM 7"); // the gap starts again with every piece
    QVERIFY(output.wait(1000));
    QVERIFY2(clock.elapsed() >= 165, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(joined(output), QByteArray("PAGENUM=7\r\n"));
}

void DevsimSessionTest::lineEndAnswersAtOnce() {
    devsim::SimOptions options = quickOptions();
    options.idleGapMs = 300; // far longer than a line end may take
    devsim::Device device(options.controller, {});
    devsim::SessionRunner runner(device, options, 1);
    runner.startRunning();
    QSignalSpy output(&runner, &devsim::SessionRunner::output);
    QElapsedTimer clock;
    clock.start();
    runner.receive("PAGENUM 7\r\nPAGEADDR 9\r");
    QTRY_COMPARE_WITH_TIMEOUT(joined(output), QByteArray("PAGENUM=7\r\nPAGEADDR=9\r\n"), 1000);
    QVERIFY2(clock.elapsed() < 200, qPrintable(QString::number(clock.elapsed())));
}

void DevsimSessionTest::bannerRepeatsUntilTheFirstCommandAndAfterReset() {
    const devsim::SimOptions options = quickOptions();
    devsim::Device device(options.controller, {});
    devsim::SessionRunner runner(device, options, 1);
    QSignalSpy output(&runner, &devsim::SessionRunner::output);
    runner.start();
    QTRY_VERIFY_WITH_TIMEOUT(joined(output).count("UNIT:") >= 3, 1000);
    runner.receive("VER\r");
    QTest::qWait(20);
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
    options.idleGapMs = 300;
    devsim::Device device(options.controller, {});
    devsim::SessionRunner runner(device, options, 1);
    runner.startRunning();
    QSignalSpy output(&runner, &devsim::SessionRunner::output);
    runner.receiveCommand("PAGENUM 3");
    runner.receiveCommand("PAGEADDR 4\r");
    QTRY_COMPARE_WITH_TIMEOUT(joined(output), QByteArray("PAGENUM=3\r\nPAGEADDR=4\r\n"), 200);
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
