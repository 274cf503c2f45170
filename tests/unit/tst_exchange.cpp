// The command exchange in virtual time: quiet-tick completion, answers judged by what their
// command awaits in every manner a controller may answer (line ends CR, LF or none, echoes,
// prompts, progress lines, error texts holding acknowledgement letters; the grace over gappy
// links, the fast exchange), time-outs, the retry arithmetic, cancel, the wait bar, nested
// sends and the wait-time dialogs.
#include "TestLoader.h"
#include "core/WaitMenu.h"
#include "procedures/CommandTable.h"

#include <QTest>

Q_DECLARE_METATYPE(Answer::Status)

class ExchangeTest : public QObject {
    Q_OBJECT
private slots:
    void piecesJoinOrSplitByThreeQuietTicks_data();
    void piecesJoinOrSplitByThreeQuietTicks();
    void lateDataIsAppendedAfterReturnWhileTheOperationRuns();
    void answersAreJudgedByWhatTheCommandAwaits_data();
    void answersAreJudgedByWhatTheCommandAwaits();
    void quietTicksWakeTheLoopOnce();
    void zeroWaitTimeEndsAtTheFirstCheck();
    void silentDeviceGetsTwoAttemptsThenOne();
    void waitForControllerOptionRepeatsUpToTheLimit();
    void cancelStopsTheRepetitionAtOnce();
    void waitingForTheControllerRetriesEvery30sAndNamesTheCause_data();
    void waitingForTheControllerRetriesEvery30sAndNamesTheCause();
    void waitBarClickEndsTheWait_data();
    void waitBarClickEndsTheWait();
    void nestedSendDuringAWaitRunsItsOwnExchange();
    void outsideAnOperationTheTextIsWrittenOnceAndNothingIsCollected();
    void debugModeTracesEveryAttempt();
    void waitTimeDialog_data();
    void waitTimeDialog();
    void commandGoesToTheSendLineAndTheTerminal();
};

namespace {

// A loader with an open connection inside a running operation.
struct Running : TestLoader {
    Running() {
        openConnection();
        state().OperationActive = true;
        loader.setAnswerTimeout(1000);
    }
    bool send(const QByteArray& text) { return loader.exchange.SendCommand(text); }
};

} // namespace

void ExchangeTest::piecesJoinOrSplitByThreeQuietTicks_data() {
    QTest::addColumn<int>("gapMs");
    QTest::addColumn<QByteArray>("answer");
    QTest::newRow("pieces 15 ms apart make one answer") << 15 << QByteArray("AB-CD-EF");
    QTest::newRow("a 60 ms pause ends the answer") << 60 << QByteArray("AB-");
}

void ExchangeTest::piecesJoinOrSplitByThreeQuietTicks() {
    QFETCH(int, gapMs);
    QFETCH(QByteArray, answer);
    Running t;
    t.device.onWrite = [&](const QByteArray&) {
        t.device.deliverPieces({"AB-", "CD-", "EF"}, 5, std::uint64_t(gapMs));
    };
    QVERIFY(t.send("VER"));
    QCOMPARE(t.state().AnswerBuffer, answer);
    QCOMPARE(t.device.written.size(), 1);
}

void ExchangeTest::lateDataIsAppendedAfterReturnWhileTheOperationRuns() {
    Running t;
    t.device.onWrite = [&](const QByteArray&) { t.device.deliverPieces({"one ", "two"}, 5, 80); };
    QVERIFY(t.send("VER"));
    QCOMPARE(t.state().AnswerBuffer, QByteArray("one "));
    t.runtime.runFor(200);
    QCOMPARE(t.state().AnswerBuffer, QByteArray("one two"));
}

void ExchangeTest::answersAreJudgedByWhatTheCommandAwaits_data() {
    QTest::addColumn<bool>("fast");
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<QList<QByteArray>>("pieces");
    QTest::addColumn<int>("gapMs");
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<int>("endsAtMs");
    QTest::addColumn<Answer::Status>("status");
    using S = Answer::Status;
    using L = QList<QByteArray>;
    const L whole{"PASSWORD: access granted\r\n"};
    const L halves{"PASSWORD: acc", "ess granted\r\n"};
    const QByteArray granted = whole.first();
    // The first piece arrives 5 ms after the command; the answer timer ticks every 10 ms from
    // the command on, so three quiet ticks after a piece at t end the wait at the third tick.
    // The grace for a pause inside an answer is 500 ms.
    QTest::newRow("whole at once: three quiet ticks")
        << false << QByteArray("PASSWORD") << whole << 0 << granted << 30 << S::Whole;
    QTest::newRow("whole at once, fast: at once")
        << true << QByteArray("PASSWORD") << whole << 0 << granted << 5 << S::Whole;
    QTest::newRow("cut by 200 ms, within the grace: whole")
        << false << QByteArray("PASSWORD") << halves << 200 << granted << 230 << S::Whole;
    QTest::newRow("cut by 200 ms, fast: whole at its last piece")
        << true << QByteArray("PASSWORD") << halves << 200 << granted << 205 << S::Whole;
    QTest::newRow("a few bytes at a time, the token across pieces, fast: whole at its end")
        << true << QByteArray("PASSWORD") << L{"PASSWORD: ac", "cess gr", "an", "ted", "\r", "\n"}
        << 20 << QByteArray("PASSWORD: access granted\r") << 85 << S::Whole;
    QTest::newRow("cut by 700 ms, past the grace: partial")
        << false << QByteArray("PASSWORD") << halves << 700 << QByteArray("PASSWORD: acc") << 510
        << S::Partial;
    QTest::newRow("error line, fast: refused at its line end")
        << true << QByteArray("PASSWORD") << L{"ERR: bad argument\r\n"} << 0
        << QByteArray("ERR: bad argument\r\n") << 5 << S::Refused;
    QTest::newRow("send line awaits nothing: the quiet ticks alone cut it")
        << true << QByteArray() << halves << 200 << QByteArray("PASSWORD: acc") << 30 << S::Whole;
    QTest::newRow("another command's late answer is passed over, fast")
        << true << QByteArray("PAGEADDR 0") << L{"PAGENUM=70\r\n", "PAGEADDR=0\r\n"} << 20
        << QByteArray("PAGENUM=70\r\nPAGEADDR=0\r\n") << 25 << S::Whole;
    QTest::newRow("read of 6: a line end inside the data does not end it")
        << true << QByteArray("PAGEREAD 6") << L{"AB\nCD", "EF\r\n"} << 100
        << QByteArray("AB\nCDEF\r\n") << 105 << S::Whole;
    QTest::newRow("i: its prompt cut after a letter an error word could start with, fast")
        << true << QByteArray("i") << L{"\r\nB", "IOS>"} << 40 << QByteArray("\r\nBIOS>") << 45
        << S::Whole;
    QTest::newRow("record: its token ends the answer")
        << true << QByteArray("S1") << L{"w"} << 0 << QByteArray("w") << 5 << S::Whole;
    // Controllers that answer in other manners.
    QTest::newRow("line ended by CR alone, fast")
        << true << QByteArray("PASSWORD") << L{"PASSWORD: access granted\r"} << 0
        << QByteArray("PASSWORD: access granted\r") << 5 << S::Whole;
    QTest::newRow("no line end: whole once quiet past the grace")
        << false << QByteArray("PASSWORD") << L{"PASSWORD: access granted"} << 0
        << QByteArray("PASSWORD: access granted") << 510 << S::Whole;
    QTest::newRow("echo holding the number, then the answer, fast")
        << true << QByteArray("PAGENUM 70") << L{"PAGENUM 70\r\n", "PAGENUM=70\r\n"} << 20
        << QByteArray("PAGENUM 70\r\nPAGENUM=70\r\n") << 25 << S::Whole;
    QTest::newRow("a controller whose answer is the echo: taken past the grace")
        << false << QByteArray("PAGENUM 70") << L{"PAGENUM 70\r\n"} << 0
        << QByteArray("PAGENUM 70\r\n") << 510 << S::Whole;
    QTest::newRow("value zero-padded, then a prompt, fast")
        << true << QByteArray("PAGENUM 70") << L{"PAGENUM=0070\r\n> "} << 0
        << QByteArray("PAGENUM=0070\r\n> ") << 5 << S::Whole;
    QTest::newRow("another value: refused past the grace")
        << false << QByteArray("PAGENUM 70") << L{"PAGENUM=71\r\n"} << 0
        << QByteArray("PAGENUM=71\r\n") << 510 << S::Refused;
    QTest::newRow("record refused in words holding its token letter, fast")
        << true << QByteArray("S1") << L{"ERR: flash ", "write failed\r\n"} << 20
        << QByteArray("ERR: flash write failed\r\n") << 25 << S::Refused;
    QTest::newRow("record refused behind its echo, no line ends, fast: not its letters")
        << true << QByteArray("S1") << L{"S10300007C ERR: flash write failed"} << 0
        << QByteArray("S10300007C ERR: flash write failed") << 30 << S::Refused;
    QTest::newRow("end record refused by ERROR without a line end")
        << false << QByteArray("S7") << L{"ERROR"} << 0 << QByteArray("ERROR") << 30 << S::Refused;
    QTest::newRow("record: a progress line, its acknowledgement 700 ms later, fast")
        << true << QByteArray("S1") << L{"Erasing sector\r\n", "w"} << 700
        << QByteArray("Erasing sector\r\nw") << 705 << S::Whole;
    QTest::newRow("f: its bare echo does not end the answer, OK byte by byte, fast")
        << true << QByteArray("f") << L{"f\r\n", "O", "K", "\r", "\n"} << 5
        << QByteArray("f\r\nOK\r") << 20 << S::Whole;
    QTest::newRow("f: a prompt without a line end, past the grace")
        << false << QByteArray("f") << L{"\r\nBOOT>"} << 0 << QByteArray("\r\nBOOT>") << 510
        << S::Whole;
    QTest::newRow("write confirmed on two lines, fast: whole at the second")
        << true << QByteArray("PAGEWRITE S1") << L{"OK\r\n", "STR:1 NUM:70 ADDR:12\r\n"} << 15
        << QByteArray("OK\r\nSTR:1 NUM:70 ADDR:12\r\n") << 20 << S::Whole;
    QTest::newRow("read: its echo passed over, fast")
        << true << QByteArray("PAGEREAD 6") << L{"PAGEREAD\r\n", "ABCDEF\r\n"} << 20
        << QByteArray("PAGEREAD\r\nABCDEF\r\n") << 25 << S::Whole;
    QTest::newRow("read: its echo byte by byte, the data right behind it, fast")
        << true << QByteArray("PAGEREAD 6")
        << L{"P", "A", "G", "E", "R", "E", "A", "D", "ABCDEF\r\n"} << 2
        << QByteArray("PAGEREADABCDEF\r\n") << 21 << S::Whole;
    QTest::newRow("VER: a name line, then the version, fast")
        << true << QByteArray("VER") << L{"LUMET52 firmware\r\n", "VER 3.14\r\n"} << 20
        << QByteArray("LUMET52 firmware\r\nVER 3.14\r\n") << 25 << S::Whole;
    QTest::newRow("VER after a restart: banner lines passed over, fast")
        << true << QByteArray("VER") << L{"UNIT:LUMET52 3.14\r\nBIOS: v2.07\r\n", "ver 4.01\r\n"}
        << 20 << QByteArray("UNIT:LUMET52 3.14\r\nBIOS: v2.07\r\nver 4.01\r\n") << 25 << S::Whole;
}

namespace {

// The command as the table of commands makes it: "PAGEREAD 6" reads six characters, "S1" is a
// data record, "S7" an end record, an empty text awaits nothing.
Command tableCommand(const QByteArray& command) {
    if (command.startsWith("PAGEREAD")) {
        return CommandTable::pageRead(command.mid(9).toInt());
    }
    if (command == "f") {
        return CommandTable::programmingStart();
    }
    if (command == "i") {
        return CommandTable::bootloaderEntry();
    }
    if (command.startsWith('S')) {
        return CommandTable::record(command + "0300007C", 1000);
    }
    if (command.isEmpty()) {
        return {"CMD", AnswerExpectation(), 1, -1};
    }
    return CommandTable::interpreter(command, 1);
}

} // namespace

void ExchangeTest::answersAreJudgedByWhatTheCommandAwaits() {
    QFETCH(bool, fast);
    QFETCH(QByteArray, command);
    QFETCH(QList<QByteArray>, pieces);
    QFETCH(int, gapMs);
    QFETCH(QByteArray, answer);
    QFETCH(int, endsAtMs);
    QFETCH(Answer::Status, status);
    Running t;
    t.loader.choices.fastExchange = fast;
    t.device.onWrite = [&](const QByteArray&) {
        t.device.deliverPieces(pieces, 5, std::uint64_t(gapMs));
    };
    const auto start = t.runtime.elapsed();
    Exchange& exchange = t.loader.exchange;
    const Answer got = exchange.runNow(exchange.ask(tableCommand(command)));
    QCOMPARE(int(t.runtime.elapsed() - start), endsAtMs);
    QCOMPARE(got.text, answer);
    QCOMPARE(got.status, status);
    QCOMPARE(t.device.written.size(), 1);
}

// The quiet ticks before the last only count down, and Timer3 has nothing to flush: an answer
// wakes the loop once after it came, not three times (a fleet pays each wake a thousand times).
void ExchangeTest::quietTicksWakeTheLoopOnce() {
    Running t;
    t.runtime.runFor(200);
    t.device.onWrite = [&](const QByteArray&) { t.device.deliver("VER 1.0\r\n", 5); };
    const std::uint64_t wakes = t.runtime.timerWakes();
    const auto start = t.runtime.elapsed();
    QVERIFY(t.send("VER"));
    QCOMPARE(int(t.runtime.elapsed() - start), 30);
    QCOMPARE(t.runtime.timerWakes() - wakes, std::uint64_t(1));
}

void ExchangeTest::zeroWaitTimeEndsAtTheFirstCheck() {
    Running t;
    t.loader.setAnswerTimeout(0);
    t.state().AttemptLimit = 1;
    const auto start = t.runtime.elapsed();
    QVERIFY(!t.send("VER"));
    QVERIFY(t.runtime.elapsed() - start <= 5);
    QCOMPARE(t.loader.output.waitBar().position, 0);
}

void ExchangeTest::silentDeviceGetsTwoAttemptsThenOne() {
    Running t;
    t.loader.setAnswerTimeout(200);
    QVERIFY(!t.send("VER"));
    QCOMPARE(t.device.written.size(), 2);
    QCOMPARE(t.state().AttemptCount, 4);
    QVERIFY(t.state().AnswerBuffer.isEmpty());
    QVERIFY(!t.send("PING"));
    QCOMPARE(t.device.written, (QList<QByteArray>{"VER", "VER", "PING"}));
}

void ExchangeTest::waitForControllerOptionRepeatsUpToTheLimit() {
    Running t;
    t.loader.setAnswerTimeout(50);
    t.state().WaitForController = true;
    t.state().AttemptLimit = 99;
    QVERIFY(!t.send("PASSWORD"));
    QCOMPARE(t.device.written.size(), 99);
}

void ExchangeTest::cancelStopsTheRepetitionAtOnce() {
    Running t;
    t.loader.setAnswerTimeout(50);
    t.state().WaitForController = true;
    t.state().AttemptLimit = 99;
    t.runtime.post(525, [&] { t.binding.btnConnectClick(); });
    const auto start = t.runtime.elapsed();
    QVERIFY(!t.send("PASSWORD"));
    QVERIFY(t.device.written.size() >= 10 && t.device.written.size() <= 11);
    QVERIFY(t.runtime.elapsed() - start < 540);
    QCOMPARE(t.status(3), QStringLiteral("Отменено пользователем."));
}

void ExchangeTest::waitingForTheControllerRetriesEvery30sAndNamesTheCause_data() {
    QTest::addColumn<bool>("brokerLacksIt");
    QTest::addColumn<QString>("cause");
    QTest::addColumn<QString>("meanwhile"); // a message written after the last wait's
    QTest::newRow("the broker lacks the controller")
        << true << QStringLiteral("контроллер не найден брокером, ") << QString();
    QTest::newRow("the controller is silent")
        << false << QStringLiteral("нет ответа, ") << QString();
    // A message of its own written after the wait's keeps its place when the answer comes.
    QTest::newRow("a later message stays")
        << false << QStringLiteral("нет ответа, ") << QStringLiteral("БРОКЕР:LUMET не найден...");
}

// With the option checked a command that may be repeated goes on past its own attempts, at
// most 30 s apart however long the answer wait is, each wait naming its cause and attempt;
// once the controller answers, the status bar shows again what it showed before.
void ExchangeTest::waitingForTheControllerRetriesEvery30sAndNamesTheCause() {
    QFETCH(bool, brokerLacksIt);
    QFETCH(QString, cause);
    QFETCH(QString, meanwhile);
    Running t;
    t.loader.setAnswerTimeout(300000);
    t.state().WaitForController = true;
    t.loader.output.setStatus(3, QStringLiteral("Загрузка..."));
    QStringList shown;
    t.loader.output.onStatus = [&](int panel, const QString& text) {
        if (panel == 3) {
            shown.append(text);
        }
    };
    int writes = 0;
    t.device.onWrite = [&](const QByteArray&) {
        ++writes;
        t.state().ControllerMissing = brokerLacksIt && writes < 5;
        if (writes == 5) {
            if (!meanwhile.isEmpty()) {
                t.loader.output.setStatus(3, meanwhile);
            }
            t.device.deliver("VER 3.14\r\n", 5);
        }
    };
    const auto start = t.runtime.elapsed();
    const Command ver{"VER", AnswerExpectation::line(), 3, -1};
    const Answer answer = t.loader.exchange.runNow(t.loader.exchange.ask(ver));
    QVERIFY(answer.whole());
    QCOMPARE(t.device.written.size(), 5);
    QVERIFY(t.runtime.elapsed() - start < 4 * 30000 + 1000);
    QCOMPARE(shown.value(3),
             QStringLiteral("Дожидаемся подключения LUMET: %1попытка 5").arg(cause));
    QCOMPARE(t.status(3), meanwhile.isEmpty() ? QStringLiteral("Загрузка...") : meanwhile);
}

void ExchangeTest::waitBarClickEndsTheWait_data() {
    QTest::addColumn<bool>("dataFlowing");
    QTest::addColumn<bool>("result");
    QTest::addColumn<QString>("status");
    QTest::newRow("nothing received") << false << false << QStringLiteral("Время истекло...");
    QTest::newRow("data received") << true << true << QString();
}

void ExchangeTest::waitBarClickEndsTheWait() {
    QFETCH(bool, dataFlowing);
    QFETCH(bool, result);
    QFETCH(QString, status);
    Running t;
    t.loader.setAnswerTimeout(60000);
    t.state().AttemptLimit = 1;
    if (dataFlowing) {
        // A stream that never pauses long enough to complete the answer by itself.
        t.device.onWrite = [&](const QByteArray&) {
            for (int i = 0; i < 100; ++i) {
                t.device.deliver("x", std::uint64_t(5 + 15 * i));
            }
        };
    }
    t.runtime.post(300, [&] { t.loader.exchange.pbWaitAnswerMouseDown(); });
    const auto start = t.runtime.elapsed();
    QCOMPARE(t.send("VER"), result);
    QVERIFY(t.runtime.elapsed() - start < 330);
    QCOMPARE(t.status(3), status);
}

void ExchangeTest::nestedSendDuringAWaitRunsItsOwnExchange() {
    Running t;
    t.loader.setAnswerTimeout(5000);
    t.state().AttemptLimit = 10;
    t.device.answer("DEBUG 0", "DEBUG 0 ok");
    // The terminal's send line is used while the procedure waits for a silent device.
    t.runtime.post(100, [&] { t.loader.exchange.SendCommand("DEBUG 0"); });
    QVERIFY(t.send("VER"));
    QCOMPARE(t.device.written, (QList<QByteArray>{"VER", "DEBUG 0"}));
    QCOMPARE(t.state().AnswerBuffer, QByteArray("DEBUG 0 ok"));
    QCOMPARE(t.state().AttemptCount, 4);
}

void ExchangeTest::outsideAnOperationTheTextIsWrittenOnceAndNothingIsCollected() {
    TestLoader t;
    t.openConnection();
    t.loader.setAnswerTimeout(300);
    t.device.answer("VER", "VER 3.1");
    const auto start = t.runtime.elapsed();
    QVERIFY(!t.loader.exchange.SendCommand("VER"));
    QCOMPARE(t.runtime.elapsed(), start);
    QCOMPARE(t.device.written.size(), 1);
    t.runtime.runFor(200);
    QVERIFY(t.state().AnswerBuffer.isEmpty());
    QCOMPARE(t.loader.terminal.lines.constLast(), QByteArray("VER 3.1"));
    QVERIFY(t.status(3).isEmpty());
    // The answer timer counts the wait time down and then reports that time ran out.
    t.runtime.runFor(3000);
    QCOMPARE(t.status(3), QStringLiteral("Время истекло..."));
}

void ExchangeTest::debugModeTracesEveryAttempt() {
    Running t;
    t.state().DebugMode = true;
    t.loader.setAnswerTimeout(100);
    t.state().AttemptLimit = 1;
    const std::uint32_t expected = t.runtime.tickCount() + 100;
    t.send("VER");
    QCOMPARE(t.runtime.debugLines, QStringList{QStringLiteral("WriteStr VER %1").arg(expected)});
}

void ExchangeTest::waitTimeDialog_data() {
    QTest::addColumn<bool>("gap"); // the pause inside an answer instead of the wait time
    QTest::addColumn<std::optional<QString>>("entry");
    QTest::addColumn<int>("timeout");
    QTest::newRow("whole number") << false << std::optional<QString>(QStringLiteral("5000"))
                                  << 5000;
    QTest::newRow("zero") << false << std::optional<QString>(QStringLiteral("0")) << 0;
    QTest::newRow("not a number") << false << std::optional<QString>(QStringLiteral("5 s")) << 1000;
    QTest::newRow("negative") << false << std::optional<QString>(QStringLiteral("-20")) << 1000;
    QTest::newRow("empty") << false << std::optional<QString>(QString()) << 1000;
    QTest::newRow("cancelled") << false << std::optional<QString>() << 80000;
    QTest::newRow("pause: whole number")
        << true << std::optional<QString>(QStringLiteral("45")) << 45;
    QTest::newRow("pause: not a number")
        << true << std::optional<QString>(QStringLiteral("0,5 s")) << 500;
    QTest::newRow("pause: cancelled") << true << std::optional<QString>() << 500;
}

void ExchangeTest::waitTimeDialog() {
    QFETCH(bool, gap);
    QFETCH(std::optional<QString>, entry);
    QFETCH(int, timeout);
    TestLoader t;
    t.dialogs.queueInput(entry);
    if (gap) {
        WaitMenu::mnuAnswerGapClick(t.loader);
    } else {
        WaitMenu::mnuTimeOutClick(t.loader);
    }
    QCOMPARE(t.dialogs.calls.size(), 1);
    QCOMPARE(t.dialogs.calls[0].caption, gap ? QStringLiteral("Пауза внутри ответа")
                                             : QStringLiteral("Время ожидания отклика"));
    QCOMPARE(t.dialogs.calls[0].text, QStringLiteral("Время в миллисекундах"));
    QCOMPARE(t.dialogs.calls[0].initial, gap ? QStringLiteral("500") : QStringLiteral("80000"));
    QCOMPARE(gap ? t.state().AnswerGapMs : t.state().AnswerTimeoutMs, timeout);
    t.binding.sync(); // the window's menus name the times in force
    QCOMPARE(gap ? t.form().mnuAnswerGap.caption : t.form().mnuTimeOut.caption,
             (gap ? QStringLiteral("Пауза внутри ответа, %1 мсек")
                  : QStringLiteral("Время ожидания, %1 мсек"))
                 .arg(timeout));
}

void ExchangeTest::commandGoesToTheSendLineAndTheTerminal() {
    Running t;
    t.device.answer("VER", "3.2");
    t.send("VER");
    QCOMPARE(t.loader.terminal.edit1, QStringLiteral("VER"));
    QCOMPARE(t.loader.terminal.lines, (QList<QByteArray>{"VER", "3.2"}));
    QCOMPARE(t.device.written, QList<QByteArray>{"VER"});
}

QTEST_GUILESS_MAIN(ExchangeTest)
#include "tst_exchange.moc"
