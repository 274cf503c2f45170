// The operation driver: start, cancel inside a pumped wait, the error path, the control states,
// the connection kind and the operation choice.
#include "TestLoader.h"
#include "core/Cp1251.h"
#include "core/LoaderError.h"
#include "core/OperationTable.h"
#include "core/ReceiveRouter.h"

#include <QFile>
#include <QTest>

class DriverTest : public QObject {
    Q_OBJECT
private slots:
    void startOpensTheConnectionAndLocksTheControls();
    void openConnectionIsReusedAndTheOperationRunsOnIt();
    void connectionThatDoesNotOpenEndsWithPortUnavailable();
    void procedureErrorIsShownClosesTheConnectionAndWritesNoJournal_data();
    void procedureErrorIsShownClosesTheConnectionAndWritesNoJournal();
    void failedProcedureIsReportedAndJournalled_data();
    void failedProcedureIsReportedAndJournalled();
    void earlierFailureIsNotReportedForTheNextOperation();
    void floodIsTheCauseWhateverTheProcedureMadeOfIt_data();
    void floodIsTheCauseWhateverTheProcedureMadeOfIt();
    void cancelDuringAnAnswerWaitUnwindsAndReports();
    void controlsAreRestoredAfterEveryOutcome_data();
    void controlsAreRestoredAfterEveryOutcome();
    void connectionKindCycles_data();
    void connectionKindCycles();
    void operationChoiceSetsModeHintAndOptions_data();
    void operationChoiceSetsModeHintAndOptions();
    void everyOperationHasOneRowOfItsOwn();
    void linkSettingsAreTheConnectionPageAsNumbers_data();
    void linkSettingsAreTheConnectionPageAsNumbers();
};

Q_DECLARE_METATYPE(Verdict)

namespace {

QByteArray journalOf(TestLoader& t) {
    QFile file(t.loader.journal.path());
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

void DriverTest::startOpensTheConnectionAndLocksTheControls() {
    TestLoader t;
    bool sawLocked = false;
    bool timer3Running = false;
    t.loader.driver.setProcedure(Operation::Flash, [&] {
        const FormModel& f = t.form();
        sawLocked = !f.ToolButton1.enabled && !f.Panel1.enabled && !f.cmbComPort.enabled &&
                    !f.btnOpen.enabled && !f.btnHeaderEdit.enabled && !f.btnExit.enabled &&
                    f.btnConnect.caption == QStringLiteral("Отмена") &&
                    f.btnConnect.imageIndex == 68 && !f.btnConnect.dropDown &&
                    t.state().OperationActive;
        timer3Running = t.loader.Timer3->enabled();
        t.runtime.sleep(2500);
        return Verdict{};
    });
    t.press();
    QCOMPARE(t.device.openCalls, 1);
    QVERIFY(sawLocked);
    QVERIFY(timer3Running);
    QCOMPARE(t.status(3), QStringLiteral("Операция выполнена за 00:00:02"));
    QVERIFY(journalOf(t).endsWith("Msg:\xCE\xEF\xE5\xF0\xE0\xF6\xE8\xFF \xE2\xFB\xEF\xEE\xEB"
                                  "\xED\xE5\xED\xE0 \xE7\xE0 00:00:02\r\n"));
    QVERIFY(t.device.isOpen());
}

// A link the terminal opened is the operation's: it is alive for the procedure (Timer3 runs),
// which would otherwise take it for lost at its first look.
void DriverTest::openConnectionIsReusedAndTheOperationRunsOnIt() {
    TestLoader t;
    t.openConnection();
    bool timer3Running = false;
    bool canGoOn = false;
    t.loader.driver.setProcedure(Operation::Flash, [&] {
        timer3Running = t.loader.Timer3->enabled();
        canGoOn = t.loader.operationCanGoOn();
        return Verdict{};
    });
    t.press();
    QCOMPARE(t.device.openCalls, 1);
    QVERIFY(timer3Running);
    QVERIFY(canGoOn);
    QVERIFY(t.status(3).startsWith(QStringLiteral("Операция выполнена за ")));
}

void DriverTest::connectionThatDoesNotOpenEndsWithPortUnavailable() {
    TestLoader t;
    t.device.openSucceeds = false;
    bool ran = false;
    t.loader.driver.setProcedure(Operation::Flash, [&] {
        ran = true;
        return Verdict{};
    });
    t.press();
    QVERIFY(!ran);
    QCOMPARE(t.status(3), QStringLiteral("порт не доступен. Возможно он занят!"));
    QCOMPARE(t.loader.driver.lastResult().outcome, Outcome::ConnectionFailed);
    QVERIFY(journalOf(t).isEmpty());
    QVERIFY(!t.loader.Timer3->enabled());
}

void DriverTest::procedureErrorIsShownClosesTheConnectionAndWritesNoJournal_data() {
    QTest::addColumn<bool>("terminalVisible");
    QTest::newRow("terminal hidden: connection closed") << false;
    QTest::newRow("terminal visible: connection kept") << true;
}

void DriverTest::procedureErrorIsShownClosesTheConnectionAndWritesNoJournal() {
    QFETCH(bool, terminalVisible);
    TestLoader t;
    t.loader.terminal.visible = terminalVisible;
    t.loader.driver.setProcedure(
        Operation::Flash, []() -> Verdict { throw LoaderError(QStringLiteral("Port Not Open")); });
    t.press();
    QCOMPARE(t.status(3), QStringLiteral("Port Not Open"));
    QCOMPARE(t.loader.driver.lastResult().outcome, Outcome::Error);
    QCOMPARE(t.device.isOpen(), terminalVisible);
    QVERIFY(journalOf(t).isEmpty());
    QVERIFY(!t.state().OperationActive);
}

void DriverTest::failedProcedureIsReportedAndJournalled_data() {
    QTest::addColumn<Verdict>("verdict");
    QTest::addColumn<QString>("text");
    const QString failed = QStringLiteral("Операция не выполнена - ");
    const auto row = [&](const char* name, Outcome outcome, const QString& reason,
                         const QString& cause, const QString& file = QString()) {
        Verdict verdict = Verdict::failed(outcome, reason);
        verdict.file = file;
        QTest::newRow(name) << verdict << failed + cause;
    };
    row("no answer", Outcome::NoAnswer, {}, QStringLiteral("нет ответа от устройства"));
    row("cancelled", Outcome::Cancelled, {}, QStringLiteral("отменено пользователем"));
    row("link lost", Outcome::LinkLost, {}, QStringLiteral("связь с устройством потеряна"));
    row("device type mismatch", Outcome::Refused,
        QStringLiteral("тип устройства не совпадает с сигнатурой файла"),
        QStringLiteral("тип устройства не совпадает с сигнатурой файла"));
    row("access refused", Outcome::Refused, QStringLiteral("отказ в доступе"),
        QStringLiteral("отказ в доступе"));
    row("file refused", Outcome::FileRefused, QStringLiteral("файл поврежден"),
        QStringLiteral("файл прошивки отклонён: файл поврежден"));
    row("checksum mismatch", Outcome::ChecksumMismatch, {},
        QStringLiteral("контрольная сумма прочитанной прошивки не совпадает, принятая копия "
                       "сохранена в /tmp/out.s37.partial"),
        QStringLiteral("/tmp/out.s37.partial"));
    row("not found at the broker", Outcome::NotFound, {},
        QStringLiteral("контроллер ID 7 не найден брокером"));
    row("local file", Outcome::FileError, QStringLiteral("/tmp/x: Permission denied"),
        QStringLiteral("ошибка файла: /tmp/x: Permission denied"));
}

// Every failure reaches the result, the status bar and the journal's message line alike,
// naming its cause; the connection stays open for the next operation.
void DriverTest::failedProcedureIsReportedAndJournalled() {
    QFETCH(Verdict, verdict);
    QFETCH(QString, text);
    TestLoader t;
    t.form().HARDWARE_IDEdt.text = QStringLiteral("7");
    t.loader.driver.setProcedure(Operation::Flash, [&] { return verdict; });
    t.press();
    const OperationResult& result = t.loader.driver.lastResult();
    QCOMPARE(result.outcome, verdict.outcome);
    QCOMPARE(result.text, text);
    QCOMPARE(t.status(3), text);
    QVERIFY(result.journalWritten);
    QVERIFY(journalOf(t).endsWith("Msg:" + Cp1251::encode(text) + "\r\n"));
    QVERIFY(t.device.isOpen());
}

void DriverTest::earlierFailureIsNotReportedForTheNextOperation() {
    TestLoader t;
    t.loader.driver.setProcedure(Operation::Store,
                                 [] { return Verdict::failed(Outcome::NoAnswer); });
    t.binding.N1Click(Operation::Store);
    t.press();
    t.binding.N1Click(Operation::Flash);
    t.press();
    QVERIFY(t.status(3).startsWith(QStringLiteral("Операция выполнена за ")));
}

void DriverTest::floodIsTheCauseWhateverTheProcedureMadeOfIt_data() {
    QTest::addColumn<int>("handling"); // 0 lets the error through, else the verdict's outcome
    QTest::addColumn<bool>("floods");  // else the device is silent
    QTest::addColumn<int>("outcome");
    const int flooded = int(Outcome::Flooded);
    QTest::newRow("error let through") << 0 << true << flooded;
    QTest::newRow("taken for silence") << int(Outcome::NoAnswer) << true << flooded;
    QTest::newRow("taken for an error") << int(Outcome::Error) << true << flooded;
    QTest::newRow("cancelled after it")
        << int(Outcome::Cancelled) << true << int(Outcome::Cancelled);
    QTest::newRow("silence without one")
        << int(Outcome::NoAnswer) << false << int(Outcome::NoAnswer);
}

// An exchange cut off by a peer that sends without pause names the flood in the result, the
// status and the journal, whether the procedure let the error through or made a failure of it.
void DriverTest::floodIsTheCauseWhateverTheProcedureMadeOfIt() {
    QFETCH(int, handling);
    QFETCH(bool, floods);
    QFETCH(int, outcome);
    TestLoader t;
    t.loader.setAnswerTimeout(300);
    t.device.onWrite = [&](const QByteArray&) {
        if (floods) {
            t.device.deliver(QByteArray(ReceiveRouter::kAnswerLimit + 1, 'U'), 5);
        }
    };
    t.loader.driver.setProcedure(Operation::ReadBack, [&] {
        t.state().AttemptLimit = 1;
        if (handling == 0) {
            t.loader.exchange.SendCommand("PAGEREAD");
        }
        try {
            t.loader.exchange.SendCommand("PAGEREAD");
        } catch (const LoaderError& e) {
            return Verdict::failed(Outcome(handling), e.text());
        }
        return Verdict::failed(Outcome(handling));
    });
    t.binding.N1Click(Operation::ReadBack);
    t.press();
    const OperationResult& result = t.loader.driver.lastResult();
    QCOMPARE(int(result.outcome), outcome);
    QVERIFY(result.journalWritten);
    QVERIFY(journalOf(t).endsWith("Msg:" + Cp1251::encode(result.text) + "\r\n"));
    if (outcome == int(Outcome::Flooded)) {
        QCOMPARE(result.text, QStringLiteral("Операция не выполнена - устройство передает данные "
                                             "без остановки"));
    }
}

void DriverTest::cancelDuringAnAnswerWaitUnwindsAndReports() {
    TestLoader t;
    QStringList statuses;
    t.loader.onStatus = [&](int panel, const QString& text) {
        if (panel == 3) {
            statuses.append(text);
        }
    };
    bool answered = true;
    t.loader.driver.setProcedure(Operation::Flash, [&] {
        answered = t.loader.exchange.SendCommand("PASSWORD");
        return answered ? Verdict{} : Verdict::failed(Outcome::Cancelled);
    });
    t.runtime.post(1500, [&] {
        t.binding.btnConnectClick();
        // The window is idle again at once, while the interrupted run unwinds.
        QVERIFY(!t.state().OperationActive);
        QCOMPARE(t.form().btnConnect.caption, QStringLiteral("Загрузить прошивку"));
    });
    t.press();
    QVERIFY(!answered);
    QVERIFY(t.runtime.elapsed() < 1600);
    QCOMPARE(t.device.written.size(), 1);
    QVERIFY(statuses.contains(QStringLiteral("Отменено пользователем.")));
    QCOMPARE(t.status(3), QStringLiteral("Операция не выполнена - отменено пользователем"));
    QVERIFY(!journalOf(t).isEmpty());
}

void DriverTest::controlsAreRestoredAfterEveryOutcome_data() {
    QTest::addColumn<int>("outcome"); // 0 success, 1 failure, 2 error, 3 no connection
    QTest::newRow("success") << 0;
    QTest::newRow("failure") << 1;
    QTest::newRow("error") << 2;
    QTest::newRow("no connection") << 3;
}

void DriverTest::controlsAreRestoredAfterEveryOutcome() {
    QFETCH(int, outcome);
    TestLoader t;
    t.device.openSucceeds = outcome != 3;
    t.binding.N1Click(Operation::ReadBack);
    t.loader.driver.setProcedure(Operation::ReadBack, [&] {
        if (outcome == 2) {
            throw LoaderError(QStringLiteral("boom"));
        }
        return outcome == 1 ? Verdict::failed(Outcome::NoAnswer) : Verdict{};
    });
    t.press();
    const FormModel& f = t.form();
    QVERIFY(f.ToolButton1.enabled && f.Panel1.enabled && f.cmbComPort.enabled &&
            f.btnOpen.enabled && f.btnHeaderEdit.enabled && f.btnExit.enabled);
    QCOMPARE(f.btnConnect.caption, QStringLiteral("Загрузить прошивку"));
    QCOMPARE(f.btnConnect.imageIndex, kIconReadBack);
    QVERIFY(f.btnConnect.dropDown);
    QVERIFY(!t.state().OperationActive);
    QVERIFY(!t.loader.Timer3->enabled());
}

void DriverTest::connectionKindCycles_data() {
    QTest::addColumn<int>("page");
    QTest::addColumn<int>("nextIcon");
    QTest::addColumn<int>("nextPage");
    QTest::newRow("serial to TCP/IP") << 0 << 88 << 1;
    QTest::newRow("TCP/IP to broker") << 1 << 89 << 2;
    QTest::newRow("broker to serial") << 2 << 8 << 0;
}

// The page is the one connection kind; the tool button's icon always follows it.
void DriverTest::connectionKindCycles() {
    QFETCH(int, page);
    QFETCH(int, nextIcon);
    QFETCH(int, nextPage);
    TestLoader t;
    t.form().setConnectionKind(*linkKindOfNumber(page));
    t.binding.ToolButton1Click();
    QCOMPARE(t.form().ToolButton1.imageIndex, nextIcon);
    QCOMPARE(linkKindNumber(t.form().TypeOfConnectGrpPage), nextPage);
}

void DriverTest::operationChoiceSetsModeHintAndOptions_data() {
    QTest::addColumn<int>("icon");
    QTest::addColumn<QString>("hint");
    QTest::addColumn<bool>("optionsVisible");
    QTest::newRow("N1") << 18 << QStringLiteral("Прошивка контроллера") << false;
    QTest::newRow("N2") << 37 << QStringLiteral("Загрузка прошивки в память хранения контроллера")
                        << true;
    QTest::newRow("N3") << 2
                        << QStringLiteral(
                               "Выгрузка прошивки из памяти хранения контроллера в файл...")
                        << false;
}

void DriverTest::operationChoiceSetsModeHintAndOptions() {
    QFETCH(int, icon);
    QFETCH(QString, hint);
    QFETCH(bool, optionsVisible);
    TestLoader t;
    t.binding.N1Click(Operation::Store);
    t.binding.N1Click(*operationOfIcon(icon));
    QCOMPARE(operationIcon(t.state().OperationMode), icon);
    QCOMPARE(t.form().btnConnect.imageIndex, icon);
    QCOMPARE(t.form().btnConnect.hint, hint);
    QCOMPARE(t.form().cbFinalization.visible, optionsVisible);
    QCOMPARE(t.form().cbWaitConnectLUMET.visible, optionsVisible);
    QCOMPARE(t.form().cbDopInitCmd.visible, optionsVisible);
    t.binding.ToolButton1Click();
    QCOMPARE(t.form().cbFinalization.visible, optionsVisible);
}

void DriverTest::everyOperationHasOneRowOfItsOwn() {
    QSet<QString> commands;
    QSet<int> icons;
    for (int number = 0; number < kOperationCount; ++number) {
        const OperationRow& row = OperationTable::row(static_cast<Operation>(number));
        QVERIFY2(!row.command.isEmpty() && !commands.contains(row.command),
                 qPrintable(row.command));
        commands.insert(row.command);
        QCOMPARE(row.icon == 0, row.caption.isEmpty());
        QVERIFY(row.icon == 0 || !icons.contains(row.icon));
        icons.insert(row.icon);
        // A query's texts come from its row, an operation of the window's from the common words.
        QCOMPARE(row.done.isEmpty(), row.icon != 0);
    }
    QCOMPARE(int(OperationTable::rows().size()), kOperationCount);
}

void DriverTest::linkSettingsAreTheConnectionPageAsNumbers_data() {
    QTest::addColumn<QStringList>("ports");
    QTest::addColumn<int>("portEntry");
    QTest::addColumn<QString>("portText");
    QTest::addColumn<int>("speedEntry");
    QTest::addColumn<QString>("numberText"); // the TCP port, the broker's port and the id
    QTest::addColumn<QString>("serialPort");
    QTest::addColumn<int>("baud");
    QTest::addColumn<int>("port");
    QTest::addColumn<qint64>("id");
    QTest::newRow("entries chosen") << QStringList{"COM1", "COM2"} << 1 << "COM2" << 0 << "10001"
                                    << "COM2" << 9600 << 10001 << qint64(10001);
    QTest::newRow("nothing chosen: first entry, default speed")
        << QStringList{"COM3", "COM4"} << -1 << "" << -1 << " 7 "
        << "COM3" << 115200 << 7 << qint64(7);
    QTest::newRow("device path typed, no ports")
        << QStringList{} << -1 << "/dev/ttyUSB3" << 7 << "65535"
        << "/dev/ttyUSB3" << 256000 << 65535 << qint64(65535);
    QTest::newRow("no ports, speed off the list, no numbers")
        << QStringList{} << -1 << "" << 8 << "abc"
        << "" << 0 << 0 << qint64(0);
    QTest::newRow("port past 65535, the largest id")
        << QStringList{"COM1"} << 0 << "COM1" << 6 << "4294967295"
        << "COM1" << 115200 << 0 << qint64(4294967295);
}

// What the links open by: the page's choice completed as the open completes it, and numbers
// that name no port are 0 (the connect then fails as to an unreachable host).
void DriverTest::linkSettingsAreTheConnectionPageAsNumbers() {
    QFETCH(QStringList, ports);
    QFETCH(int, portEntry);
    QFETCH(QString, portText);
    QFETCH(int, speedEntry);
    QFETCH(QString, numberText);
    TestLoader t;
    FormModel& f = t.form();
    f.cmbComPort.items = ports;
    f.cmbComPort.itemIndex = portEntry;
    f.cmbComPort.text = portText;
    f.cmbBaudRate.itemIndex = speedEntry;
    f.PortNum.text = f.BrokerPortEdt.text = f.HARDWARE_IDEdt.text = numberText;
    const LinkSettings settings = FormRequest::link(f);
    QTEST(settings.serialPort, "serialPort");
    QTEST(settings.baud, "baud");
    QTEST(int(settings.port), "port");
    QTEST(int(settings.brokerPort), "port");
    QTEST(qint64(settings.hardwareId), "id");
}

QTEST_GUILESS_MAIN(DriverTest)
#include "tst_driver.moc"
