#include "GuiFixture.h"
#include "app/ElidedLabel.h"
#include "app/QtDialogs.h"
#include "app/QtTranslations.h"

#include <QAbstractFileIconProvider>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTimer>
#include <QToolButton>

class MainWindowTest : public QObject {
    Q_OBJECT

private slots:
    void menuItemChoosesOperationAndOptions_data();
    void menuItemChoosesOperationAndOptions();
    void toolButton1CyclesConnectionPages();
    void optionsAreStoredLinked();
    void storedCancelIconStartsWithFlash();
    void storedFileReloadAtFirstActivation_data();
    void storedFileReloadAtFirstActivation();
    void terminalButtonOpensConnectionFirst();
    void terminalButtonKeepsWindowHiddenOnOpenError();
    void closeRequestDuringOperationAsks();
    void exitButtonAsks();
    void waitBarClickCutsTheWaitShort();
    void statusBarMirrorsModel();
    void waitTimeMenuItem();
    void changedLinkIsClosed_data();
    void changedLinkIsClosed();
    void repliesReachTerminalAfterOperation_data();
    void repliesReachTerminalAfterOperation();
    void toolBarStaysPutDuringOperation();
    void tabGoesThroughEveryControl();
    void keysOpenMenuAndPressButtons_data();
    void keysOpenMenuAndPressButtons();
    void dialogsSpeakRussian_data();
    void dialogsSpeakRussian();
    void tooltipsShowWhole_data();
    void tooltipsShowWhole();
    void nothingLeftOver_data();
    void nothingLeftOver();
};

void MainWindowTest::menuItemChoosesOperationAndOptions_data() {
    QTest::addColumn<QString>("item");
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("hint");
    QTest::addColumn<bool>("optionsVisible");
    QTest::newRow("N1 flash") << "N1" << 18 << "Прошивка контроллера" << false;
    QTest::newRow("N2 storage") << "N2" << 37 << "Загрузка прошивки в память хранения контроллера"
                                << true;
    QTest::newRow("N3 read back") << "N3" << 2
                                  << "Выгрузка прошивки из памяти хранения контроллера в файл..."
                                  << false;
}

void MainWindowTest::menuItemChoosesOperationAndOptions() {
    QFETCH(QString, item);
    QFETCH(int, mode);
    QFETCH(QString, hint);
    QFETCH(bool, optionsVisible);
    GuiFixture f;
    f.start();
    // Leave the default first, so every row sees a change.
    f.find<QAction>("N2")->trigger();
    f.find<QAction>("N3")->trigger();
    f.find<QAction>(item.toLatin1().constData())->trigger();

    QCOMPARE(operationIcon(f.loader().state.OperationMode), mode);
    auto* button = f.find<QToolButton>("btnConnect");
    QCOMPARE(button->property("velkorImageIndex").toInt(), mode);
    QCOMPARE(button->toolTip(), hint);
    QCOMPARE(button->text(), QStringLiteral("&Загрузить прошивку")); // Alt+З
    for (const char* name : {"cbFinalization", "cbWaitConnectLUMET", "cbDopInitCmd"}) {
        QCOMPARE(f.find<QCheckBox>(name)->isVisibleTo(&f.window()), optionsVisible);
    }
}

void MainWindowTest::toolButton1CyclesConnectionPages() {
    GuiFixture f;
    f.start();
    auto* button = f.find<QToolButton>("ToolButton1");
    auto* pages = f.find<QStackedWidget>("TypeOfConnectGrp");
    QCOMPARE(pages->currentWidget()->objectName(), QStringLiteral("tsCOMPort"));
    const std::pair<int, const char*> expected[] = {
        {88, "tsTCPServer"}, {89, "tsBroker"}, {8, "tsCOMPort"}, {88, "tsTCPServer"}};
    for (const auto& [icon, page] : expected) {
        QTest::mouseClick(button, Qt::LeftButton);
        QCOMPARE(f.form().ToolButton1.imageIndex, icon);
        QCOMPARE(button->property("velkorImageIndex").toInt(), icon);
        QCOMPARE(pages->currentWidget()->objectName(), QLatin1String(page));
    }
}

void MainWindowTest::optionsAreStoredLinked() {
    GuiFixture f;
    f.start();
    f.find<QAction>("N2")->trigger();
    auto* finalization = f.find<QCheckBox>("cbFinalization");
    auto* initCommands = f.find<QCheckBox>("cbDopInitCmd");
    QVERIFY(!initCommands->isEnabled());
    QTest::mouseClick(finalization, Qt::LeftButton);
    QVERIFY(f.form().cbFinalization.checked);
    QVERIFY(initCommands->isEnabled());
    QVERIFY(!f.app->init->isVisible());
    QTest::mouseClick(initCommands, Qt::LeftButton);
    QVERIFY(f.form().cbDopInitCmd.checked);
    QVERIFY(f.app->init->isVisible());
    QCOMPARE(f.form().DopCmdMemo, QStringList{QStringLiteral("SILENCETIME 300")});
    QPlainTextEdit* memo = f.app->init->memo();
    QCOMPARE(memo->toPlainText(), QStringLiteral("SILENCETIME 300"));
    memo->moveCursor(QTextCursor::End);
    QTest::keyClick(memo, Qt::Key_Return);
    QTest::keyClicks(memo, QStringLiteral("DEBUG 0"));
    QTest::keyClick(memo, Qt::Key_Return);
    QCOMPARE(f.form().DopCmdMemo,
             (QStringList{QStringLiteral("SILENCETIME 300"), QStringLiteral("DEBUG 0")}));
    // Unchecking the finalisation disables the dependent option again.
    QTest::mouseClick(finalization, Qt::LeftButton);
    QVERIFY(!initCommands->isEnabled());
}

void MainWindowTest::storedCancelIconStartsWithFlash() {
    QTemporaryDir dir;
    {
        QSettings ini(dir.filePath(QStringLiteral("velkor.ini")), QSettings::IniFormat);
        ini.setValue(QStringLiteral("StoreParams/btnConnect.ImageIndex"), 68);
        ini.setValue(QStringLiteral("StoreParams/PopupMenu1.Tag"), 37);
        ini.setValue(QStringLiteral("StoreParams/ToolButton1.ImageIndex"), 89);
    }
    GuiFixture f(dir.path());
    f.start();
    QCOMPARE(f.loader().state.OperationMode, Operation::Flash);
    QCOMPARE(f.form().btnConnect.imageIndex, 18);
    QCOMPARE(f.find<QStackedWidget>("TypeOfConnectGrp")->currentIndex(), 2);
    QVERIFY(!f.find<QCheckBox>("cbFinalization")->isVisibleTo(&f.window()));
}

void MainWindowTest::storedFileReloadAtFirstActivation_data() {
    QTest::addColumn<QByteArray>("content"); // empty: no file named; "-": named but gone
    QTest::addColumn<int>("errorBoxes");
    QTest::addColumn<bool>("nameKept");
    QTest::addColumn<QString>("header");
    QTest::newRow("no file named") << QByteArray() << 0 << false << QString();
    QTest::newRow("file gone") << QByteArray("-") << 1 << true << QString();
    QTest::newRow("file sound") << QByteArray("S006000041424333\r\n") << 0 << true << "ABC";
    QTest::newRow("file damaged") << QByteArray("S006000041424334\r\n") << 0 << false << "ABC";
}

void MainWindowTest::storedFileReloadAtFirstActivation() {
    QFETCH(QByteArray, content);
    QFETCH(int, errorBoxes);
    QFETCH(bool, nameKept);
    QFETCH(QString, header);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("fw.s28"));
    if (!content.isEmpty()) {
        QSettings ini(dir.filePath(QStringLiteral("Velkor.ini")), QSettings::IniFormat);
        ini.setValue(QStringLiteral("Settings/File"), path);
    }
    if (content.startsWith('S')) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    GuiFixture f(dir.path());
    f.start();
    // Later activations never run the first-activation steps again.
    f.window().FormActivate();
    f.window().FormActivate();
    QVERIFY(!f.loader().state.FirstActivation);
    QCOMPARE(f.dialogs.calls.size(), errorBoxes);
    if (errorBoxes > 0) {
        QCOMPARE(f.dialogs.calls.at(0).kind, QStringLiteral("error"));
        QVERIFY2(f.dialogs.calls.at(0).text.contains(path), qPrintable(f.dialogs.calls.at(0).text));
    }
    QCOMPARE(f.find<QLineEdit>("edName")->text(), nameKept ? path : QString());
    QCOMPARE(f.find<QLineEdit>("edtUnitSign")->text(), header);
    QCOMPARE(f.find<QToolButton>("btnHeaderEdit")->isEnabled(), nameKept && !header.isEmpty());
}

void MainWindowTest::terminalButtonOpensConnectionFirst() {
    GuiFixture f;
    RecordingLinks links(f.loader());
    f.loader().links = &links;
    f.start();
    QTest::mouseClick(f.find<QToolButton>("ToolButton5"), Qt::LeftButton);
    QVERIFY(links.serialOpen);
    QVERIFY(f.terminal().isVisible());
    QVERIFY(f.terminal().sendPanel()->isVisibleTo(&f.terminal()));
    f.finish();
}

void MainWindowTest::terminalButtonKeepsWindowHiddenOnOpenError() {
    GuiFixture f;
    RecordingLinks links(f.loader());
    links.openError = QStringLiteral("Unable to open com port (Error: 2)");
    f.loader().links = &links;
    f.start();
    QTest::mouseClick(f.find<QToolButton>("ToolButton5"), Qt::LeftButton);
    QVERIFY(!f.terminal().isVisible());
    QCOMPARE(f.dialogs.calls.size(), 1);
    QCOMPARE(f.dialogs.calls.at(0).text, links.openError);
    f.finish();
}

void MainWindowTest::closeRequestDuringOperationAsks() {
    GuiFixture f;
    RecordingLinks links(f.loader());
    f.loader().links = &links;
    bool loopEnded = false;
    f.loader().driver.setProcedure(Operation::Flash, [&] {
        Loader& l = f.loader();
        while (l.state.OperationActive && !l.runtime.terminating()) {
            l.runtime.processEvents();
            l.runtime.sleep(1);
        }
        loopEnded = true;
        return Verdict::failed(Outcome::LinkLost);
    });
    f.start();
    f.dialogs.queueConfirm(false);
    f.dialogs.queueConfirm(true);
    bool stillRunningAfterNo = false;
    bool exitDisabled = false;
    QTimer::singleShot(50, [&] {
        exitDisabled = !f.find<QToolButton>("btnExit")->isEnabled();
        f.window().close();
        stillRunningAfterNo = f.loader().state.OperationActive && f.window().isVisible();
        QTimer::singleShot(50, [&] { f.window().close(); });
    });
    QTest::mouseClick(f.find<QToolButton>("btnConnect"), Qt::LeftButton);
    f.awaitOperation();

    QVERIFY(exitDisabled);
    QVERIFY(stillRunningAfterNo);
    QVERIFY(loopEnded);
    QVERIFY(!f.window().isVisible());
    QCOMPARE(f.dialogs.calls.size(), 2);
    for (const auto& call : f.dialogs.calls) {
        QCOMPARE(call.kind, QStringLiteral("confirm"));
        QCOMPARE(call.text, QStringLiteral("Вы хотите завершить работу с программой?"));
    }
    QVERIFY(f.app->runtime.terminating());
    // The settings were written on the way out.
    QVERIFY(QFile::exists(QDir(f.dataDir).filePath(QStringLiteral("Velkor.ini"))));
}

void MainWindowTest::exitButtonAsks() {
    GuiFixture f;
    f.start();
    auto* exit = f.find<QToolButton>("btnExit");
    f.dialogs.queueConfirm(false);
    QTest::mouseClick(exit, Qt::LeftButton);
    QVERIFY(f.window().isVisible());
    f.dialogs.queueConfirm(true);
    QTest::mouseClick(exit, Qt::LeftButton);
    QVERIFY(!f.window().isVisible());
    QCOMPARE(f.dialogs.calls.size(), 2);
    QCOMPARE(f.dialogs.calls.at(1).text, QStringLiteral("Завершить работу программы?"));
}

void MainWindowTest::waitBarClickCutsTheWaitShort() {
    GuiFixture f;
    f.start();
    f.loader().state.QuietTicks = 500;
    QTest::mousePress(f.find<QWidget>("pbWaitAnswer"), Qt::LeftButton);
    QCOMPARE(f.loader().state.QuietTicks, 1);
}

void MainWindowTest::statusBarMirrorsModel() {
    GuiFixture f;
    f.start();
    QCOMPARE(f.find<QLabel>("Status0")->text(), QStringLiteral("0:0"));
    QCOMPARE(f.find<QLabel>("Status2")->text(), QStringLiteral("COMx:закрыт"));
    f.loader().setStatus(3, QStringLiteral("Файл в порядке"));
    f.loader().output.startProgressBar(200);
    f.loader().output.moveProgressBar(50);
    f.loader().output.showDeviceType(QStringLiteral("UNIT:LUMET5"));
    // The mirror runs before every event pump of the loader's wait loops.
    f.loader().runtime.processEvents();
    QCOMPARE(f.find<QLabel>("Status3")->text(), QStringLiteral("Файл в порядке"));
    QCOMPARE(f.find<QProgressBar>("ProgressBar1")->value(), 50);
    QCOMPARE(f.find<QLabel>("UnitSign")->text(), QStringLiteral("UNIT:LUMET5"));
}

void MainWindowTest::nothingLeftOver_data() {
    QTest::addColumn<QString>("story");
    QTest::addColumn<QString>("control"); // where the text is read
    QTest::addColumn<QString>("expected");
    QTest::newRow("bar after a flash") << "done"
                                       << "ProgressBar1"
                                       << "100 %";
    QTest::newRow("bar after a cancel") << "cancelled"
                                        << "ProgressBar1"
                                        << "25 %";
    QTest::newRow("bar in the next wait") << "cancelled, again"
                                          << "ProgressBar1"
                                          << "";
    QTest::newRow("caption in a flash after a store") << "stored, again"
                                                      << "Panel3"
                                                      << "Прошивка";
    QTest::newRow("message after a kind switch") << "port refused, kind"
                                                 << "Status3"
                                                 << "";
}

// Texts of an operation, a store or a link do not outlive what they speak of: the bar's time left
// ends with the operation and its share with the next start, the storage position leaves the
// group's caption when another operation runs, a message of a link leaves with its kind.
void MainWindowTest::nothingLeftOver() {
    QFETCH(QString, story);
    QFETCH(QString, control);
    QFETCH(QString, expected);
    GuiFixture f;
    RecordingLinks links(f.loader());
    f.loader().links = &links;
    f.start();
    Loader& l = f.loader();
    const auto shownText = [&f, &control] {
        QWidget* widget = f.find<QWidget>(control.toLatin1().constData());
        if (auto* bar = qobject_cast<QProgressBar*>(widget)) {
            return bar->isTextVisible() ? bar->text() : QString();
        }
        if (auto* group = qobject_cast<QGroupBox*>(widget)) {
            return group->title();
        }
        return static_cast<QLabel*>(widget)->text();
    };
    const bool cancelled = story.startsWith(QLatin1String("cancelled"));
    QString seenAtStart;
    l.driver.setProcedure(Operation::Flash, [&] {
        f.app->syncAll();
        seenAtStart = shownText();
        ProgressEvent progress{cancelled ? 25 : 100, 100, std::nullopt, cancelled ? 51000 : 1000};
        l.showProgress(progress);
        return cancelled ? Verdict::failed(Outcome::Cancelled) : Verdict{};
    });
    if (story.startsWith(QLatin1String("stored"))) {
        f.form().Panel3.caption = QStringLiteral("Прошивка: страница 70, адрес 10, строка 120");
    }
    if (story.startsWith(QLatin1String("port refused"))) {
        l.setStatus(3, QStringLiteral("Unable to open com port /dev/ttyS0: отказано в доступе"));
        QTest::mouseClick(f.find<QToolButton>("ToolButton1"), Qt::LeftButton);
    } else {
        QTest::mouseClick(f.find<QToolButton>("btnConnect"), Qt::LeftButton);
        f.awaitOperation();
    }
    if (story.endsWith(QLatin1String("again"))) {
        QTest::mouseClick(f.find<QToolButton>("btnConnect"), Qt::LeftButton);
        f.awaitOperation();
        QCOMPARE(seenAtStart, expected);
    } else {
        f.app->syncAll();
        QCOMPARE(shownText(), expected);
    }
    f.finish();
}

void MainWindowTest::waitTimeMenuItem() {
    GuiFixture f;
    f.start();
    QMenu* menu = f.window().popupMenu2();
    QAction* item = f.find<QAction>("mnuTimeOut");
    QVERIFY(menu->actions().contains(item));
    QVERIFY(menu->actions().contains(f.find<QAction>("mnuDebug")));
    QCOMPARE(item->text(), QStringLiteral("&Время ожидания, 80000 мсек"));
    f.dialogs.queueInput(QStringLiteral("2500"));
    item->trigger();
    QCOMPARE(f.dialogs.calls.at(0).caption, QStringLiteral("Время ожидания отклика"));
    QCOMPARE(f.dialogs.calls.at(0).initial, QStringLiteral("80000"));
    QCOMPARE(f.loader().state.AnswerTimeoutMs, 2500);
    QCOMPARE(item->text(), QStringLiteral("&Время ожидания, 2500 мсек"));
    // The storage load leaves its own wait time in force; the caption names it.
    f.loader().state.AnswerTimeoutMs = 30000;
    f.loader().runtime.processEvents();
    QCOMPARE(item->text(), QStringLiteral("&Время ожидания, 30000 мсек"));
    f.window().close();
    // A stored caption that names another value than the stored one is not believed.
    QSettings(QDir(f.dataDir).filePath(QStringLiteral("velkor.ini")), QSettings::IniFormat)
        .setValue(QStringLiteral("StoreParams/mnuTimeOut.Caption"),
                  QStringLiteral("Время ожидания, 8000 мсек"));
    GuiFixture again(f.dataDir);
    again.start();
    QCOMPARE(again.find<QAction>("mnuTimeOut")->text(),
             QStringLiteral("&Время ожидания, 30000 мсек")); // Alt+В in the menu
}

void MainWindowTest::changedLinkIsClosed_data() {
    QTest::addColumn<int>("page");
    QTest::addColumn<QString>("change");
    QTest::addColumn<QString>("address");  // shown in status panel 2 while open
    QTest::addColumn<QString>("reopened"); // opened by the next operation; empty: still open
    QTest::newRow("serial, kind switched") << 0 << "kind"
                                           << "/dev/ttyUSB7"
                                           << "tcp";
    QTest::newRow("serial, other port typed") << 0 << "port"
                                              << "/dev/ttyUSB7"
                                              << "serial";
    QTest::newRow("TCP/IP, other port") << 1 << "tcpPort"
                                        << "127.0.0.1:4000"
                                        << "tcp";
    QTest::newRow("broker, other id") << 2 << "id"
                                      << "127.0.0.1:4001"
                                      << "";
}

// A link left open by the terminal is closed when the kind or its settings change, so the next
// operation uses the link the window shows. The hardware id is no part of the broker link.
void MainWindowTest::changedLinkIsClosed() {
    QFETCH(int, page);
    QFETCH(QString, change);
    QFETCH(QString, address);
    QFETCH(QString, reopened);
    GuiFixture f;
    RecordingLinks links(f.loader());
    f.loader().links = &links;
    f.start();
    Loader& l = f.loader();
    for (int i = 0; i < page; ++i) {
        QTest::mouseClick(f.find<QToolButton>("ToolButton1"), Qt::LeftButton);
    }
    f.find<QComboBox>("cmbComPort")->setEditText(QStringLiteral("/dev/ttyUSB7"));
    f.form().IPEdit.text = f.form().BrokerIPEdt.text = QStringLiteral("127.0.0.1");
    f.find<QSpinBox>("PortNum")->setValue(4000);
    f.find<QSpinBox>("BrokerPortEdt")->setValue(4001);
    f.window().ToolButton5Click();
    f.app->syncAll();
    auto* panel2 = f.find<QLabel>("Status2");
    QCOMPARE(panel2->text(), address);
    QVERIFY2(panel2->toolTip().startsWith(QStringLiteral("Открыто соединение: ")),
             qPrintable(panel2->toolTip()));

    if (change == QLatin1String("kind")) {
        QTest::mouseClick(f.find<QToolButton>("ToolButton1"), Qt::LeftButton);
    } else if (change == QLatin1String("port")) {
        f.find<QComboBox>("cmbComPort")->setEditText(QStringLiteral("/dev/ttyUSB8"));
    } else if (change == QLatin1String("tcpPort")) {
        f.find<QSpinBox>("PortNum")->setValue(4002);
    } else {
        f.find<QSpinBox>("HARDWARE_IDEdt")->setValue(7);
    }
    f.app->syncAll();
    QCOMPARE(l.state.ConnectionOpen, reopened.isEmpty());
    if (reopened.isEmpty()) {
        return;
    }
    QVERIFY(
        f.find<QLabel>("Status3")->text().startsWith(QStringLiteral("Прежнее соединение закрыто")));
    QCOMPARE(links.opened.size(), 1);
    f.app->binding.N1Click(Operation::ReadBack);
    l.setAnswerTimeout(20);
    QTest::mouseClick(f.find<QToolButton>("btnConnect"), Qt::LeftButton);
    f.awaitOperation();
    QCOMPARE(links.opened.size(), 2);
    QCOMPARE(links.opened.at(1), reopened);
    f.finish();
}

void MainWindowTest::repliesReachTerminalAfterOperation_data() {
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("cancel");
    QTest::addColumn<bool>("terminalFirst"); // the terminal opened the link
    QTest::newRow("read-back without an answer") << 2 << false << false;
    QTest::newRow("flash cancelled while waiting for the restart") << 18 << true << true;
}

// The link stays open after the operation; a reply that arrives afterwards shows in the
// terminal once the line falls quiet.
void MainWindowTest::repliesReachTerminalAfterOperation() {
    QFETCH(int, mode);
    QFETCH(bool, cancel);
    QFETCH(bool, terminalFirst);
    GuiFixture f;
    RecordingLinks links(f.loader());
    f.loader().links = &links;
    f.start();
    Loader& l = f.loader();
    if (terminalFirst) {
        f.window().ToolButton5Click();
    }
    f.app->binding.N1Click(*operationOfIcon(mode));
    l.setAnswerTimeout(20);
    auto* button = f.find<QToolButton>("btnConnect");
    if (cancel) {
        QTimer::singleShot(100, [button] { QTest::mouseClick(button, Qt::LeftButton); });
    }
    QTest::mouseClick(button, Qt::LeftButton);
    f.awaitOperation();
    QVERIFY(!l.state.OperationActive);
    QVERIFY(l.state.ConnectionOpen);
    QVERIFY(l.Timer3->enabled());
    l.router.receive("LUMET52 3.14");
    QTRY_VERIFY(f.loader().terminal.lines.contains("LUMET52 3.14"));
    f.finish();
}

// The main button turns into "Отмена" without moving anything beside it on the tool bar.
void MainWindowTest::toolBarStaysPutDuringOperation() {
    GuiFixture f;
    RecordingLinks links(f.loader());
    f.loader().links = &links;
    f.start();
    auto* button = f.find<QToolButton>("btnConnect");
    // Where each stands, and whether the main button's caption shows whole.
    const auto places = [&f, button] {
        QList<QRect> rects{QRect(0, 0, button->width() >= button->sizeHint().width(), 0)};
        for (const char* name : {"btnConnect", "pnlUnitSign", "ToolButton5", "pbWaitAnswer"}) {
            QWidget* w = f.find<QWidget>(name);
            rects.append(QRect(w->mapTo(&f.window(), QPoint(0, 0)), w->size()));
        }
        return rects;
    };
    const QList<QRect> idle = places();
    QList<QRect> running;
    QString caption;
    QTimer::singleShot(100, [&] {
        caption = button->text();
        running = places();
        QTest::mouseClick(button, Qt::LeftButton);
    });
    QTest::mouseClick(button, Qt::LeftButton); // a flash, waiting for the restart
    f.awaitOperation();
    QCOMPARE(caption, QStringLiteral("&Отмена"));
    QCOMPARE(running, idle);
    QCOMPARE(idle.first().width(), 1); // the caption shows whole
    f.finish();
}

void MainWindowTest::tabGoesThroughEveryControl() {
    GuiFixture f;
    f.start();
    f.find<QAction>("N2")->trigger(); // the storage options show
    f.app->syncAll();
    f.find<QWidget>("ToolButton1")->setFocus();
    QStringList visited;
    for (int i = 0; i < 30; ++i) {
        QWidget* focused = QApplication::focusWidget();
        QVERIFY(focused != nullptr);
        if (visited.contains(focused->objectName())) {
            break;
        }
        visited.append(focused->objectName());
        QTest::keyClick(focused, Qt::Key_Tab);
    }
    // The accompanying initialisation is disabled until the finalisation is checked; no file
    // is chosen, so the header cannot be edited.
    QCOMPARE(visited,
             (QStringList{"ToolButton1", "btnConnect", "ToolButton5", "ToolButton9", "pbWaitAnswer",
                          "btnExit", "cmbComPort", "cmbBaudRate", "tbAutoComList", "edName",
                          "btnOpen", "cbFinalization", "cbWaitConnectLUMET", "cbVerifyStored"}));
}

void MainWindowTest::keysOpenMenuAndPressButtons_data() {
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<QString>("focus"); // the control that has the focus
    // "menu": the operation menu opened; "store": it opened and its letter З chose the storage
    // load; "exchange": the exchange menu opened; "file": the file dialog; "": none of them
    QTest::addColumn<QString>("outcome");
    const int alt = int(Qt::AltModifier);
    const int none = int(Qt::NoModifier);
    QTest::newRow("F4") << int(Qt::Key_F4) << none << "btnConnect"
                        << "menu";
    QTest::newRow("Alt+Down") << int(Qt::Key_Down) << alt << "btnConnect"
                              << "store";
    QTest::newRow("F4 in the file field") << int(Qt::Key_F4) << none << "edName"
                                          << "store";
    QTest::newRow("Alt+Down on a check box") << int(Qt::Key_Down) << alt << "tbAutoComList"
                                             << "menu";
    QTest::newRow("F4 opens the port list") << int(Qt::Key_F4) << none << "cmbComPort"
                                            << "";
    QTest::newRow("menu key on the wait bar") << int(Qt::Key_Menu) << none << "pbWaitAnswer"
                                              << "exchange";
    QTest::newRow("Space on the wait bar") << int(Qt::Key_Space) << none << "pbWaitAnswer"
                                           << "exchange";
    QTest::newRow("Alt+В chooses a file") << 0x0412 << alt << "btnConnect"
                                          << "file";
}

void MainWindowTest::keysOpenMenuAndPressButtons() {
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(QString, focus);
    QFETCH(QString, outcome);
    GuiFixture f;
    f.start();
    QWidget* focused = f.find<QWidget>(focus.toLatin1().constData());
    focused->setFocus();
    QMenu* operations = f.window().popupMenu1();
    QMenu* exchange = f.window().popupMenu2();
    QString shown;
    QTimer::singleShot(100, [&] {
        shown = operations->isVisible() ? QStringLiteral("menu")
                : exchange->isVisible() ? QStringLiteral("exchange")
                                        : QString();
        if (outcome == QLatin1String("store") && operations->isVisible()) {
            QTest::sendKeyEvent(QTest::Click, operations, Qt::Key(0x0417), QStringLiteral("з"),
                                Qt::NoModifier);
            shown = f.loader().state.OperationMode == Operation::Store ? QStringLiteral("store")
                                                                       : QStringLiteral("menu");
        }
        operations->close();
        exchange->close();
    });
    // The text is given: QTest finds none for a Cyrillic key of its own.
    const QString text = key == 0x0412 ? QStringLiteral("в") : QString();
    for (const QTest::KeyAction action : {QTest::Press, QTest::Release}) {
        QTest::sendKeyEvent(action, focused, Qt::Key(key), text, Qt::KeyboardModifiers(modifiers));
    }
    QTest::qWait(150);
    if (auto* list = qobject_cast<QComboBox*>(focused)) {
        list->hidePopup();
    }
    const bool fileChosen =
        f.dialogs.calls.size() == 1 && f.dialogs.calls.at(0).kind == QLatin1String("file");
    QCOMPARE(fileChosen ? QStringLiteral("file") : shown, outcome);
    QVERIFY(!f.loader().state.OperationActive);
}

void MainWindowTest::dialogsSpeakRussian_data() {
    QTest::addColumn<QString>("dialog");
    QTest::addColumn<QString>("accept"); // the accepting button's text, without its mnemonic
    QTest::newRow("read-back file") << "save"
                                    << "Сохранить";
    QTest::newRow("firmware file") << "open"
                                   << "Открыть";
    QTest::newRow("wait time") << "input"
                               << "OK";
}

// Qt's own texts are Russian (also the kinds of the file dialog's entries), the read-back's file is
// chosen with a save dialog, and an input box is wide enough for its title.
void MainWindowTest::dialogsSpeakRussian() {
    QFETCH(QString, dialog);
    QFETCH(QString, accept);
    QVERIFY2(QtTranslations::install(),
             "Qt's Russian catalogue (qt6-translations-l10n) is missing");
    QtDialogs dialogs;
    QString shown;
    QStringList buttons;
    int titleSpace = 0;
    QTimer::singleShot(200, [&] {
        QWidget* box = QApplication::activeModalWidget();
        QVERIFY(box != nullptr);
        if (auto* files = qobject_cast<QFileDialog*>(box)) {
            shown = files->acceptMode() == QFileDialog::AcceptSave ? "save" : "open";
        } else if (qobject_cast<QInputDialog*>(box) != nullptr) {
            shown = "input";
            // The title bar's font is larger and bold, and the bar holds three buttons.
            titleSpace =
                box->width() - box->fontMetrics().horizontalAdvance(box->windowTitle()) * 5 / 4;
        }
        for (auto* button : box->findChildren<QPushButton*>()) {
            buttons.append(button->text().remove(QLatin1Char('&')));
        }
        static_cast<QDialog*>(box)->reject();
    });
    FileDialogState state;
    QString value = QStringLiteral("80000");
    if (dialog == QLatin1String("save")) {
        QVERIFY(!dialogs.saveFile(state));
    } else if (dialog == QLatin1String("open")) {
        QVERIFY(!dialogs.openFile(state));
    } else {
        QVERIFY(!dialogs.inputQuery(QStringLiteral("Время ожидания отклика"),
                                    QStringLiteral("Время в миллисекундах"), value));
    }
    QCOMPARE(shown, dialog);
    QVERIFY2(buttons.contains(accept), qPrintable(buttons.join(QLatin1Char(','))));
    QVERIFY2(buttons.contains(QStringLiteral("Отмена")),
             qPrintable(buttons.join(QLatin1Char(','))));
    QVERIFY(dialog != QLatin1String("input") || titleSpace >= 100);
    // The file dialog's column of kinds: a folder is a "Папка".
    QCOMPARE(QAbstractFileIconProvider().type(QFileInfo(QDir::tempPath())),
             QStringLiteral("Папка"));
}

void MainWindowTest::tooltipsShowWhole_data() {
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("deviceType"); // the controller's device type, where it matters
    QTest::addColumn<int>("lines");
    QTest::addColumn<QString>("firstLine");
    QTest::newRow("header edit") << "btnHeaderEdit"
                                 << "" << 7
                                 << "Кнопка разрешает редактировать заголовок файла, содержащего "
                                    "обновление ПО ";
    QTest::newRow("finalisation") << "cbFinalization"
                                  << "" << 6 << "ПРИ АКТИВНОМ ФЛАГЕ ФИНАЛИЗАЦИИ:";
    QTest::newRow("wait for LUMET") << "cbWaitConnectLUMET"
                                    << "" << 3 << "При активации данной опции и отсутствии LUMET ";
    QTest::newRow("broker id") << "HARDWARE_IDEdt"
                               << "" << 1 << "Уникальный идентификатор  LUMET5 на \"Korve Брокер\"";
    QTest::newRow("wait bar") << "pbWaitAnswer"
                              << "" << 2
                              << "Ожидание ответа. Щелчок завершает ожидание; правая кнопка (с "
                                 "клавиатуры: клавиша меню или пробел) открывает меню обмена";
    QTest::newRow("long device type")
        << "UnitSign"
        << "UNIT:LUMET52X-EXTENDED-RAILWAY" << 1 << "UNIT:LUMET52X-EXTENDED-RAILWAY";
    QTest::newRow("device type that fits") << "UnitSign"
                                           << "UNIT:LUMET52" << 1 << "";
}

// Multi-line hints show as their lines; a text cut for want of room is whole in its tooltip.
void MainWindowTest::tooltipsShowWhole() {
    QFETCH(QString, control);
    QFETCH(QString, deviceType);
    QFETCH(int, lines);
    QFETCH(QString, firstLine);
    GuiFixture f;
    f.start();
    if (!deviceType.isEmpty()) {
        f.loader().output.showDeviceType(deviceType);
    }
    f.app->syncAll();
    QWidget* widget = f.find<QWidget>(control.toLatin1().constData());
    const QStringList shown = widget->toolTip().split(QLatin1Char('\n'));
    QCOMPARE(shown.size(), lines);
    QCOMPARE(shown.at(0), firstLine);
    if (auto* label = qobject_cast<ElidedLabel*>(widget)) {
        QCOMPARE(label->isElided(), !firstLine.isEmpty());
    }
}

QTEST_MAIN(MainWindowTest)
#include "tst_main_window.moc"
