// What the engineer sees of an operation's course and end in the window, against the simulator:
// how a controller the broker does not have yet is waited for, how a lost link ends each
// operation on each kind of link, and what the status bar and the journal keep after each
// outcome. The same suite runs offscreen and on a virtual X server.
#include "DevsimProcess.h"
#include "GuiFixture.h"
#include "TestFirmware.h"
#include "core/Cp1251.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QThread>
#include <QToolButton>

namespace {

constexpr int kMissingId = 99;

// The simulator with every way in: TCP, the broker with controller 1, a pseudo-terminal.
QStringList simulatorWith(const QStringList& more) {
    return QStringList{QStringLiteral("--tcp"),    QStringLiteral("0"),
                       QStringLiteral("--broker"), QStringLiteral("0"),
                       QStringLiteral("--ids"),    QStringLiteral("1"),
                       QStringLiteral("--pty"),    QStringLiteral("--reset-delay"),
                       QStringLiteral("50")} +
           more;
}

// Points the window at a link of the simulator: "tcp", "broker" (with the hardware id) or
// "serial" (its pseudo-terminal).
void chooseLink(GuiFixture& f, const QString& kind, const DevsimProcess& devsim, int id = 1) {
    FormModel& form = f.form();
    if (kind == QLatin1String("tcp")) {
        form.setConnectionKind(LinkKind::Tcp);
        form.IPEdit.text = QStringLiteral("127.0.0.1");
        form.PortNum.text = QString::number(devsim.tcpPort());
    } else if (kind == QLatin1String("broker")) {
        form.setConnectionKind(LinkKind::Broker);
        form.BrokerIPEdt.text = QStringLiteral("127.0.0.1");
        form.BrokerPortEdt.text = QString::number(devsim.brokerPort());
        form.HARDWARE_IDEdt.text = QString::number(id);
    } else {
        form.setConnectionKind(LinkKind::Serial);
        form.cmbComPort.text = devsim.ptyPath();
        form.cmbComPort.itemIndex = -1;
    }
    f.app->syncAll();
}

// The window on a firmware file, the operation chosen from its menu ("flash", "store",
// "read-back"), the flash restarting the controller by command (a broker's controller shows
// its banner only then), the wait option as given.
void prepare(GuiFixture& f, const QString& operation, bool waitForController) {
    f.start();
    f.dialogs.queueFile(writeTestFirmware(f.dataDir, 20));
    QTest::mouseClick(f.find<QToolButton>("btnOpen"), Qt::LeftButton);
    f.find<QAction>("N2")->trigger();
    if (waitForController) {
        QTest::mouseClick(f.find<QCheckBox>("cbWaitConnectLUMET"), Qt::LeftButton);
    }
    const char* item = operation == QLatin1String("store")       ? "N2"
                       : operation == QLatin1String("read-back") ? "N3"
                                                                 : "N1";
    f.find<QAction>(item)->trigger();
    f.form().cmbRestart.select(1);
    // The read-back writes into a file of its own choice.
    f.dialogs.queueFile(QDir(f.dataDir).filePath(QStringLiteral("copy.s28")));
}

void press(GuiFixture& f, const char* name) {
    QTest::mouseClick(f.find<QToolButton>(name), Qt::LeftButton);
}

// The last journal entry's parameter and message lines.
QStringList lastEntry(const GuiFixture& f) {
    QFile journal(QDir(f.dataDir).filePath(QStringLiteral("velkor.jnl")));
    if (!journal.open(QIODevice::ReadOnly)) {
        return {};
    }
    const QStringList lines =
        Cp1251::decode(journal.readAll()).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    return lines.mid(lines.size() - 2);
}

} // namespace

class WindowOutcomesTest : public QObject {
    Q_OBJECT

private slots:
    void controllerIsWaitedFor_data();
    void controllerIsWaitedFor();
    void lostLinkEndsTheOperationAtOnce_data();
    void lostLinkEndsTheOperationAtOnce();
    void statusKeepsEachOutcome_data();
    void statusKeepsEachOutcome();
    void waitBarMovesThroughASilentWait();
    void flashGoesOnWhileTheCloseQuestionIsOpen();
    void nextOperationRunsOnTheLinkLeftOpen();
};

void WindowOutcomesTest::controllerIsWaitedFor_data() {
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QByteArray>("command"); // what goes again while the controller is missing
    QTest::addColumn<bool>("byHand");        // typed into the terminal's send line meanwhile
    QTest::newRow("store") << "store" << QByteArray("PASSWORD") << false;
    QTest::newRow("read-back") << "read-back" << QByteArray("PAGENUM 70") << false;
    QTest::newRow("flash restarted by command") << "flash" << QByteArray("RESET\r") << false;
    QTest::newRow("send line during a store") << "store" << QByteArray("VER") << true;
}

// The broker lacks the controller and "Дожидаться подключения LUMET" is checked: the command
// goes again every answer wait (at most 30 s), the status says which attempt comes and why, the
// operation waits until cancelled, and the cancel keeps the cause.
void WindowOutcomesTest::controllerIsWaitedFor() {
    QFETCH(QString, operation);
    QFETCH(QByteArray, command);
    QFETCH(bool, byHand);
    DevsimProcess devsim(simulatorWith({}));
    QVERIFY(devsim.isReady());
    GuiFixture f;
    prepare(f, operation, true);
    chooseLink(f, QStringLiteral("broker"), devsim, kMissingId);
    const int waitMs = 250;
    f.loader().setAnswerTimeout(waitMs);

    QStringList shown;
    f.loader().onStatus = [&shown](int panel, const QString& text) {
        if (panel == 3 && !shown.contains(text)) {
            shown.append(text);
        }
    };
    if (byHand) {
        QTimer::singleShot(300, [&f] {
            f.window().ToolButton5Click();
            f.terminal().edit()->clear(); // it holds the command sent last
            QTest::keyClicks(f.terminal().edit(), QStringLiteral("VER"));
            QTest::keyClick(f.terminal().edit(), Qt::Key_Return);
        });
    }
    const int runMs = 1800;
    QTimer::singleShot(runMs, [&f] { press(f, "btnConnect"); });
    QElapsedTimer clock;
    clock.start();
    press(f, "btnConnect");
    f.awaitOperation();

    const qsizetype sends = f.loader().terminal.lines.lines().count(command);
    QVERIFY2(sends >= 3 && sends <= runMs / waitMs + 1, qPrintable(QString::number(sends)));
    const QString waiting =
        QStringLiteral("Дожидаемся подключения LUMET: контроллер не найден брокером, попытка %1");
    for (int attempt = 2; attempt <= 3; ++attempt) {
        QVERIFY2(shown.contains(waiting.arg(attempt)), qPrintable(shown.join(QLatin1Char('\n'))));
    }
    const QString ended = QStringLiteral("Операция не выполнена - отменено пользователем: "
                                         "контроллер ID 99 не найден брокером");
    QCOMPARE(f.loader().output.status(3), ended);
    QVERIFY(clock.elapsed() < runMs + 1000);
    QVERIFY(f.dialogs.calls.size() <= 2); // the file dialogs; no "Повторите операцию позже..."
}

void WindowOutcomesTest::lostLinkEndsTheOperationAtOnce_data() {
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QString>("link");
    for (const char* operation : {"store", "flash", "read-back"}) {
        for (const char* link : {"tcp", "broker", "serial"}) {
            QTest::addRow("%s over %s", operation, link) << operation << link;
        }
    }
}

// The simulator goes away in the middle of an operation: the operation ends at once (not after
// the answer wait, 30 s for a page write) as a lost link, the connection controls stay locked
// until it has ended, and its journal entry names the link it used.
void WindowOutcomesTest::lostLinkEndsTheOperationAtOnce() {
    QFETCH(QString, operation);
    QFETCH(QString, link);
    // Every answer comes a little late, so that the link goes while one is awaited.
    DevsimProcess devsim(
        simulatorWith({QStringLiteral("--delay"), QStringLiteral("150"),
                       QStringLiteral("--banner-interval"), QStringLiteral("100")}));
    QVERIFY(devsim.isReady());
    GuiFixture f;
    prepare(f, operation, false);
    f.dialogs.queueConfirm(true); // the store from the start
    chooseLink(f, link, devsim);
    f.loader().setAnswerTimeout(30000);
    const QStringList params = lastEntry(f); // none yet
    QVERIFY(params.isEmpty());

    QElapsedTimer sinceLoss;
    QTimer loss;
    QObject::connect(&loss, &QTimer::timeout, [&] {
        // Once the link is open and the operation talks over it (the open's own pause lets
        // the controller's banners in already).
        const bool opening = f.loader().output.status(3) == QStringLiteral("Открытие порта...");
        if (!sinceLoss.isValid() && !opening && f.loader().terminal.lines.size() >= 5) {
            devsim.stop();
            sinceLoss.start();
        }
    });
    loss.start(5);
    bool unlockedWhileRunning = false;
    f.loader().onStatus = [&](int, const QString&) {
        FormModel& form = f.form();
        if (sinceLoss.isValid() && f.loader().state.OperationActive &&
            !f.loader().state.ConnectionOpen) {
            unlockedWhileRunning =
                unlockedWhileRunning || form.Panel1.enabled || form.ToolButton1.enabled;
            // Were the kind changed now, as an unlocked button let it be, the entry would
            // still name the link the operation used.
            form.setConnectionKind(nextLinkKind(form.connectionKind()));
        }
    };
    const QString usedLink = f.loader().journal.connectionParams();
    press(f, "btnConnect");
    f.awaitOperation();

    QVERIFY2(sinceLoss.isValid(), "the operation ended before the link was taken away");
    QVERIFY2(sinceLoss.elapsed() < 2000, qPrintable(QString::number(sinceLoss.elapsed())));
    QCOMPARE(f.loader().output.status(3),
             QStringLiteral("Операция не выполнена - связь с устройством потеряна"));
    QVERIFY(!unlockedWhileRunning);
    QVERIFY(f.form().Panel1.enabled && f.form().ToolButton1.enabled);
    QCOMPARE(lastEntry(f).value(0), QStringLiteral("Params:") + usedLink);
}

void WindowOutcomesTest::statusKeepsEachOutcome_data() {
    QTest::addColumn<QString>("operation");
    QTest::addColumn<QString>("link");
    QTest::addColumn<int>("id");
    QTest::addColumn<QStringList>("simulator"); // its options besides the ways in
    QTest::addColumn<QString>("start");         // the store's first question: "yes", "escape"
    QTest::addColumn<int>("cancelAfterMs");     // after the first command; 0: not cancelled
    QTest::addColumn<int>("boxOpenMs");         // how long an information box stays open
    QTest::addColumn<QString>("status");        // panel 3 at the end, and long after it
    const QString done = QStringLiteral("Операция выполнена за ");
    const QString cancelled = QStringLiteral("Операция не выполнена - отменено пользователем");
    QTest::newRow("flash over the broker, the restart banner after it")
        << "flash"
        << "broker" << 1 << QStringList() << "yes" << 0 << 0 << done;
    // The box is read for longer than the store itself takes (about 1.5 s of answer waits).
    QTest::newRow("store, its last box read for a while")
        << "store"
        << "tcp" << 1 << QStringList() << "yes" << 0 << 4000 << done;
    QTest::newRow("store cancelled in a wait")
        << "store"
        << "tcp" << 1 << QStringList{QStringLiteral("--delay"), QStringLiteral("1000")} << "yes"
        << 50 << 0 << cancelled;
    QTest::newRow("Escape at the store's first question")
        << "store"
        << "tcp" << 1 << QStringList() << "escape" << 0 << 0 << cancelled;
    QTest::newRow("controller not found, not waited for")
        << "store"
        << "broker" << kMissingId << QStringList() << "yes" << 0 << 0
        << QStringLiteral("Операция не выполнена - контроллер ID 99 не найден брокером");
}

// The outcome of an operation stays in status panel 3 and in its journal entry as it was
// reported: nothing that comes after it (the restart banner's frames, the answer timer of a
// cancelled wait) replaces it; its time leaves out a box the engineer read; Escape at the
// store's question cancels it with its resume position kept.
void WindowOutcomesTest::statusKeepsEachOutcome() {
    QFETCH(QString, operation);
    QFETCH(QString, link);
    QFETCH(int, id);
    QFETCH(QStringList, simulator);
    QFETCH(QString, start);
    QFETCH(int, cancelAfterMs);
    QFETCH(int, boxOpenMs);
    QFETCH(QString, status);
    DevsimProcess devsim(simulatorWith(simulator));
    QVERIFY(devsim.isReady());
    GuiFixture f;
    prepare(f, operation, false);
    chooseLink(f, link, devsim, id);
    f.loader().setAnswerTimeout(100);
    const ResumePosition before{75, 20, 3};
    LoaderState& s = f.loader().state;
    std::tie(s.StartPage, s.PageAddr, s.LastLoadedLine) =
        std::tie(before.page, before.addr, before.line);
    if (start == QLatin1String("escape")) {
        f.dialogs.queueEscape();
    } else {
        f.dialogs.queueConfirm(true);
    }
    f.dialogs.onCall = [boxOpenMs](const ScriptedDialogs::Call& call) {
        if (call.kind == QLatin1String("information")) {
            QThread::msleep(ulong(boxOpenMs));
        }
    };
    // The cancel comes that long after the first command went out, in its answer wait.
    QTimer cancel;
    QObject::connect(&cancel, &QTimer::timeout, [&f, &cancel, cancelAfterMs] {
        if (!f.loader().terminal.lines.isEmpty()) {
            cancel.stop();
            QTimer::singleShot(cancelAfterMs, [&f] { press(f, "btnConnect"); });
        }
    });
    if (cancelAfterMs > 0) {
        cancel.start(5);
    }
    press(f, "btnConnect");
    f.awaitOperation();
    QVERIFY2(f.loader().output.status(3).startsWith(status),
             qPrintable(f.loader().output.status(3)));
    const QString reported = f.loader().output.status(3);
    // The flash's entry adds how it restarted the controller after the message.
    QVERIFY2(lastEntry(f).value(1).startsWith(QStringLiteral("Msg:") + reported),
             qPrintable(lastEntry(f).value(1)));
    // Long after the end: longer than the ten answer waits a stale answer timer would count.
    QTest::qWait(1500);
    QCOMPARE(f.loader().output.status(3), reported);
    QCOMPARE(f.find<QLabel>("Status3")->text(), reported);
    if (boxOpenMs > 0) {
        QVERIFY2(f.loader().driver.lastResult().elapsedMs < boxOpenMs,
                 qPrintable(QString::number(f.loader().driver.lastResult().elapsedMs)));
    }
    if (start == QLatin1String("escape")) {
        QCOMPARE(f.loader().driver.lastResult().resume, std::optional<ResumePosition>(before));
        QVERIFY(!f.loader().terminal.lines.lines().contains("WRITECOUNTER 3"));
    }
}

// A controller that stays silent: the wait bar moves on its own, with no input to wake the
// window, and is back at its start once the operation has ended.
void WindowOutcomesTest::waitBarMovesThroughASilentWait() {
    DevsimProcess devsim(simulatorWith({QStringLiteral("--delay"), QStringLiteral("5000")}));
    QVERIFY(devsim.isReady());
    GuiFixture f;
    prepare(f, QStringLiteral("store"), false);
    f.dialogs.queueConfirm(true);
    chooseLink(f, QStringLiteral("tcp"), devsim);
    f.loader().setAnswerTimeout(1600);
    auto* bar = f.find<QProgressBar>("pbWaitAnswer");
    QList<int> seen;
    QTimer look;
    QObject::connect(&look, &QTimer::timeout, [&] { seen.append(bar->value()); });
    QTimer::singleShot(400, [&look] { look.start(400); });
    QTimer::singleShot(1400, [&look, &f] {
        look.stop();
        press(f, "btnConnect");
    });
    press(f, "btnConnect");
    f.awaitOperation();
    QVERIFY2(seen.size() >= 2 && seen.first() > 0 && seen.last() > seen.first(),
             qPrintable(QString::number(seen.size())));
    QCOMPARE(bar->value(), 0);
}

// The window closed in the middle of a flash asks first; while the question is open (its box
// runs the event loop) the flash goes on record by record, and "no" leaves it to succeed.
void WindowOutcomesTest::flashGoesOnWhileTheCloseQuestionIsOpen() {
    DevsimProcess devsim(simulatorWith({QStringLiteral("--delay"), QStringLiteral("20")}));
    QVERIFY(devsim.isReady());
    GuiFixture f;
    prepare(f, QStringLiteral("flash"), false);
    chooseLink(f, QStringLiteral("tcp"), devsim);
    f.loader().setAnswerTimeout(1000);
    const auto records = [&f] {
        qsizetype sent = 0;
        for (const QByteArray& line : f.loader().terminal.lines.lines()) {
            sent += line.startsWith("S2") ? 1 : 0;
        }
        return sent;
    };
    qsizetype beforeBox = 0;
    qsizetype afterBox = 0;
    f.dialogs.queueConfirm(false);
    f.dialogs.onCall = [&](const ScriptedDialogs::Call& call) {
        if (call.kind == QLatin1String("confirm")) {
            beforeBox = records();
            QTest::qWait(300);
            afterBox = records();
        }
    };
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (records() >= 2) {
            closer.stop();
            f.window().close();
        }
    });
    closer.start(5);
    press(f, "btnConnect");
    f.awaitOperation();
    QVERIFY2(beforeBox >= 2 && afterBox > beforeBox,
             qPrintable(QStringLiteral("%1 %2").arg(beforeBox).arg(afterBox)));
    QVERIFY2(f.loader().output.status(3).startsWith(QStringLiteral("Операция выполнена за ")),
             qPrintable(f.loader().output.status(3)));
}

// The link stays open after an operation; the next one runs over it as over a new one.
void WindowOutcomesTest::nextOperationRunsOnTheLinkLeftOpen() {
    DevsimProcess devsim(simulatorWith({}));
    QVERIFY(devsim.isReady());
    GuiFixture f;
    prepare(f, QStringLiteral("flash"), false);
    chooseLink(f, QStringLiteral("tcp"), devsim);
    for (int run = 0; run < 2; ++run) {
        press(f, "btnConnect");
        f.awaitOperation();
        QVERIFY2(f.loader().output.status(3).startsWith(QStringLiteral("Операция выполнена")),
                 qPrintable(QString::number(run) + QLatin1Char(' ') + f.loader().output.status(3)));
        QVERIFY(f.loader().state.ConnectionOpen);
    }
    f.finish();
}

QTEST_MAIN(WindowOutcomesTest)
#include "tst_window_outcomes.moc"
