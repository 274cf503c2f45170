#include "GuiFixture.h"
#include "app/ElidedLabel.h"
#include "terminal/TerminalLog.h"

#include <QComboBox>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QSpinBox>
#include <QTcpServer>
#include <QTcpSocket>
#include <QToolButton>

namespace {

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

void writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

} // namespace

class TerminalTest : public QObject {
    Q_OBJECT

private slots:
    void logRotatesSixFiles();
    void logWritesViewLinesInCp1251();
    void menuItemClearsTheView();
    void viewAndLogKeepTheScrollBackOnly_data();
    void viewAndLogKeepTheScrollBackOnly();
    void enterSendsTheLineUnchanged();
    void enterWithoutConnectionDoesNothing();
    void sendLineOverTcp();
    void closingClosesSerialPortOnlyWithoutOperation_data();
    void closingClosesSerialPortOnlyWithoutOperation();
    void captionFollowsTheModel();
    void viewFollowsTheExchange_data();
    void viewFollowsTheExchange();
    void refusedLinkSaysWhy();
};

void TerminalTest::logRotatesSixFiles() {
    GuiFixture f;
    const QDir dir(f.dataDir);
    const QStringList names = {"velkor.log",  "velkor1.log", "velkor2.log",
                               "velkor3.log", "velkor4.log", "velkor5.log"};
    for (const QString& name : names) {
        writeFile(dir.filePath(name), "old " + name.toLatin1());
    }
    f.loader().addTerminalLine("VER");
    f.finish();
    QCOMPARE(readFile(dir.filePath("velkor.log")), QByteArray("VER\r\n"));
    QCOMPARE(readFile(dir.filePath("velkor1.log")), QByteArray("old velkor.log"));
    QCOMPARE(readFile(dir.filePath("velkor2.log")), QByteArray("old velkor1.log"));
    QCOMPARE(readFile(dir.filePath("velkor3.log")), QByteArray("old velkor2.log"));
    QCOMPARE(readFile(dir.filePath("velkor4.log")), QByteArray("old velkor3.log"));
    QCOMPARE(readFile(dir.filePath("velkor5.log")), QByteArray("old velkor4.log"));
    QCOMPARE(dir.entryList({"velkor*.log"}).size(), 6);

    // A gap in the set: the files move up one by one without overwriting a neighbour.
    QFile::remove(dir.filePath("velkor2.log"));
    TerminalLog::RotateTerminalLogs(f.dataDir);
    QVERIFY(!QFile::exists(dir.filePath("velkor.log")));
    QCOMPARE(readFile(dir.filePath("velkor1.log")), QByteArray("VER\r\n"));
    QCOMPARE(readFile(dir.filePath("velkor2.log")), QByteArray("old velkor.log"));
    QVERIFY(!QFile::exists(dir.filePath("velkor3.log")));
    QCOMPARE(readFile(dir.filePath("velkor4.log")), QByteArray("old velkor2.log"));
    QCOMPARE(readFile(dir.filePath("velkor5.log")), QByteArray("old velkor3.log"));
}

void TerminalTest::logWritesViewLinesInCp1251() {
    GuiFixture f;
    f.loader().addTerminalLine("PAGEREAD 70");
    // A received chunk with line breaks is written as the lines the view shows.
    f.loader().addTerminalLine("OK\r\n3.\rLUMET\n");
    f.loader().addTerminalLine(QByteArray("\xcf\xf0\xe8\xe2\xe5\xf2"));
    f.app->syncAll();
    QCOMPARE(f.terminal().memo()->toPlainText(),
             QStringLiteral("PAGEREAD 70\nOK\n3.\nLUMET\nПривет"));
    f.finish();
    QCOMPARE(readFile(QDir(f.dataDir).filePath("velkor.log")),
             QByteArray("PAGEREAD 70\r\nOK\r\n3.\r\nLUMET\r\n\xcf\xf0\xe8\xe2\xe5\xf2\r\n"));
}

// A double click selects a word and keeps the exchange; the view's menu item clears it, and
// the log then holds only what came after.
void TerminalTest::menuItemClearsTheView() {
    GuiFixture f;
    f.loader().addTerminalLine("before");
    f.app->syncAll();
    QTest::mouseDClick(f.terminal().memo()->viewport(), Qt::LeftButton);
    QCOMPARE(f.loader().terminal.lines.size(), 1);
    f.terminal().findChild<QAction*>(QStringLiteral("mnuClearView"))->trigger();
    QVERIFY(f.loader().terminal.lines.isEmpty());
    QVERIFY(f.terminal().memo()->toPlainText().isEmpty());
    f.loader().addTerminalLine("after");
    f.finish();
    QCOMPARE(readFile(QDir(f.dataDir).filePath("velkor.log")), QByteArray("after\r\n"));
    // A run whose terminal stayed empty leaves the logs as they are.
    GuiFixture quiet(f.dataDir);
    quiet.finish();
    QCOMPARE(readFile(QDir(f.dataDir).filePath("velkor.log")), QByteArray("after\r\n"));
    QVERIFY(!QFile::exists(QDir(f.dataDir).filePath("velkor1.log")));
}

void TerminalTest::viewAndLogKeepTheScrollBackOnly_data() {
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("syncEvery");
    QTest::newRow("short lines") << QByteArray(" OK\r\n") << 12000 << 997;
    QTest::newRow("long lines") << QByteArray(64 * 1024, 'x') << 40 << 7;
    QTest::newRow("line breaks only") << QByteArray(3000, '\n') << 10 << 3;
    QTest::newRow("carriage returns only") << QByteArray(3000, '\r') << 10 << 3;
}

void TerminalTest::viewAndLogKeepTheScrollBackOnly() {
    QFETCH(QByteArray, line);
    QFETCH(int, count);
    QFETCH(int, syncEvery);
    GuiFixture f;
    for (int n = 0; n < count; ++n) {
        f.loader().addTerminalLine(QByteArray::number(n) + line);
        if (n % syncEvery == 0) {
            f.app->syncAll();
        }
    }
    f.app->syncAll();
    const ScrollBack& kept = f.loader().terminal.lines;
    QVERIFY(kept.size() < count);
    QCOMPARE(kept.constLast(), QByteArray::number(count - 1) + line);
    QByteArray log;
    QStringList shown;
    qsizetype rows = 0;
    for (const QByteArray& viewLine : TerminalLog::viewLines(kept)) {
        log += viewLine + "\r\n";
        shown << QString::fromLatin1(viewLine);
        ++rows;
    }
    QVERIFY(rows <= ScrollBack::kMaxRows && log.size() <= ScrollBack::kMaxBytes + 2 * rows);
    QCOMPARE(f.terminal().memo()->toPlainText(), shown.join('\n'));
    f.finish();
    QCOMPARE(readFile(QDir(f.dataDir).filePath("velkor.log")), log);
}

void TerminalTest::enterSendsTheLineUnchanged() {
    GuiFixture f;
    RecordingLinks links(f.loader());
    f.loader().links = &links;
    f.start();
    f.window().ToolButton5Click();
    QLineEdit* edit = f.terminal().edit();
    QVERIFY(edit->isVisible());
    QCOMPARE(f.terminal().focusWidget(), edit); // opened to type a line
    QTest::keyClicks(edit, QStringLiteral("VER"));
    QTest::keyClick(edit, Qt::Key_Return);
    QCOMPARE(links.writes.size(), 1);
    QCOMPARE(links.writes.at(0).second, QByteArray("VER"));
    QCOMPARE(f.terminal().memo()->toPlainText(), QStringLiteral("VER"));
    QCOMPARE(edit->text(), QStringLiteral("VER"));
    // Russian text goes out in Windows-1251.
    edit->clear();
    QKeyEvent typed(QEvent::KeyPress, 0, Qt::NoModifier, QStringLiteral("Я"));
    QCoreApplication::sendEvent(edit, &typed);
    QTest::keyClick(edit, Qt::Key_Enter);
    QCOMPARE(links.writes.at(1).second, QByteArray("\xdf"));
    f.finish();
}

void TerminalTest::enterWithoutConnectionDoesNothing() {
    GuiFixture f;
    RecordingLinks links(f.loader());
    f.loader().links = &links;
    f.terminal().edit()->setText(QStringLiteral("VER"));
    f.terminal().Edit1KeyDown(13);
    QVERIFY(links.writes.isEmpty());
    QVERIFY(f.loader().terminal.lines.isEmpty());
}

void TerminalTest::sendLineOverTcp() {
    QTcpServer server;
    QVERIFY(server.listen(QHostAddress::LocalHost));
    GuiFixture f;
    f.start();
    Loader& l = f.loader();
    QTest::mouseClick(f.find<QToolButton>("ToolButton1"), Qt::LeftButton);
    auto* ip = f.find<QLineEdit>("IPEdit");
    ip->clear();
    QTest::keyClicks(ip, QStringLiteral("127.0.0.1"));
    f.find<QSpinBox>("PortNum")->setValue(server.serverPort());
    QCOMPARE(f.form().PortNum.roundedValue(), int(server.serverPort()));

    QTest::mouseClick(f.find<QToolButton>("ToolButton5"), Qt::LeftButton);
    QVERIFY(f.terminal().isVisible());
    QTRY_VERIFY(server.hasPendingConnections() || l.state.ConnectionOpen);
    QTRY_VERIFY(l.state.ConnectionOpen);
    QTcpSocket* peer = server.nextPendingConnection();
    QVERIFY(peer != nullptr);
    QTRY_VERIFY(f.terminal().sendPanel()->isVisible());

    QLineEdit* edit = f.terminal().edit();
    edit->clear();
    QTest::keyClicks(edit, QStringLiteral("VER"));
    QTest::keyClick(edit, Qt::Key_Return);
    QTRY_COMPARE(peer->bytesAvailable(), qint64(3));
    QTest::qWait(50);
    QCOMPARE(peer->readAll(), QByteArray("VER"));
    QCOMPARE(f.terminal().memo()->toPlainText(), QStringLiteral("VER"));

    // The answer, outside an operation, shows as one line once the line falls quiet: the second
    // piece goes out the moment the first is taken, well inside the quiet time.
    peer->write("LUMET52 ");
    peer->flush();
    QVERIFY(QTest::qWaitFor([&] { return !l.state.PendingTerminalText.isEmpty(); }, 5000));
    peer->write("3.14");
    peer->flush();
    QTRY_COMPARE(f.terminal().memo()->toPlainText(), QStringLiteral("VER\nLUMET52 3.14"));
    f.terminal().close();
    f.finish();
}

void TerminalTest::closingClosesSerialPortOnlyWithoutOperation_data() {
    QTest::addColumn<bool>("operationActive");
    QTest::addColumn<bool>("portOpenAfter");
    QTest::newRow("no operation") << false << false;
    QTest::newRow("operation running") << true << true;
}

void TerminalTest::closingClosesSerialPortOnlyWithoutOperation() {
    QFETCH(bool, operationActive);
    QFETCH(bool, portOpenAfter);
    GuiFixture f;
    RecordingLinks links(f.loader());
    f.loader().links = &links;
    f.start();
    f.window().ToolButton5Click();
    QVERIFY(f.terminal().isVisible());
    f.loader().state.OperationActive = operationActive;
    f.terminal().close();
    QVERIFY(!f.terminal().isVisible());
    QVERIFY(!f.loader().terminal.visible);
    QCOMPARE(links.serialOpen, portOpenAfter);
    QCOMPARE(f.terminal().sendPanel()->isVisibleTo(&f.terminal()), portOpenAfter);
    f.loader().state.OperationActive = false;
}

void TerminalTest::captionFollowsTheModel() {
    GuiFixture f;
    QCOMPARE(f.terminal().windowTitle(), QStringLiteral("Терминальное окно"));
    f.loader().terminal.receiveCounter = 3;
    f.loader().terminal.lastReceiveSize = 15;
    f.loader().runtime.processEvents();
    QCOMPARE(f.terminal().windowTitle(), QStringLiteral("Терминальное окно RxCount=3 len=15"));
}

void TerminalTest::viewFollowsTheExchange_data() {
    QTest::addColumn<QString>("step"); // what happens before the next lines come
    QTest::addColumn<bool>("atEnd");   // the view then shows the last line
    QTest::newRow("link closed and opened again") << "reopen" << true;
    QTest::newRow("scrolled up to read") << "scroll" << false;
    QTest::newRow("line sent after scrolling up") << "send" << true;
}

// The view follows the exchange while it shows its end, also when the send line went and came
// back with the link; received lines do not pull it away from where the user reads; a line the
// user sends is shown, even after a click left the text cursor at the top.
void TerminalTest::viewFollowsTheExchange() {
    QFETCH(QString, step);
    QFETCH(bool, atEnd);
    GuiFixture f;
    RecordingLinks links(f.loader());
    f.loader().links = &links;
    f.start();
    f.window().ToolButton5Click();
    for (int i = 0; i < 200; ++i) {
        f.loader().addTerminalLine("BANNER " + QByteArray::number(i));
    }
    QTest::qWait(30);
    QPlainTextEdit* memo = f.terminal().memo();
    QScrollBar* bar = memo->verticalScrollBar();
    QCOMPARE(bar->value(), bar->maximum());
    // The send line and the link's state beside it differ in height by less than a line: the
    // link is closed and opened at heights of the window a pixel apart, one line's worth.
    const int rounds = step == QLatin1String("reopen") ? memo->fontMetrics().lineSpacing() : 1;
    for (int round = 0; round < rounds; ++round) {
        if (step == QLatin1String("reopen")) {
            f.terminal().resize(f.terminal().width(), 312 + round);
            auto* port = f.find<QComboBox>("cmbComPort");
            const QString chosen = port->currentText();
            port->setEditText(chosen + QLatin1Char('1'));
            QTest::qWait(20);
            QVERIFY(!f.terminal().sendPanel()->isVisible());
            port->setEditText(chosen);
            QTest::mouseClick(f.find<QToolButton>("ToolButton5"), Qt::LeftButton);
            QTest::qWait(20);
            QVERIFY(f.terminal().sendPanel()->isVisible());
        } else {
            memo->moveCursor(QTextCursor::Start);
            bar->setValue(0);
        }
        if (step == QLatin1String("send")) {
            QTest::keyClicks(f.terminal().edit(), QStringLiteral("VER"));
            QTest::keyClick(f.terminal().edit(), Qt::Key_Return);
        } else {
            f.loader().addTerminalLine("S315000000");
            QTest::qWait(20);
        }
        QVERIFY2((bar->value() == bar->maximum()) == atEnd, qPrintable(QString::number(round)));
        QCOMPARE(bar->value() == 0, !atEnd);
    }
    f.finish();
}

// A TCP link opened from the terminal button comes up, or fails, after the window shows: the
// window then says where to and why, instead of staying empty.
void TerminalTest::refusedLinkSaysWhy() {
    quint16 port = 0;
    {
        QTcpServer closed;
        QVERIFY(closed.listen(QHostAddress::LocalHost));
        port = closed.serverPort();
    }
    GuiFixture f;
    f.start();
    QTest::mouseClick(f.find<QToolButton>("ToolButton1"), Qt::LeftButton);
    f.form().IPEdit.text = QStringLiteral("127.0.0.1");
    f.find<QSpinBox>("PortNum")->setValue(port);
    QTest::mouseClick(f.find<QToolButton>("ToolButton5"), Qt::LeftButton);
    QVERIFY(f.terminal().isVisible());
    const QString why =
        QStringLiteral("Нет соединения с 127.0.0.1:%1: в соединении отказано").arg(port);
    QTRY_VERIFY(f.terminal().linkState()->text().startsWith(why));
    QVERIFY(f.terminal().linkState()->isVisible());
    QVERIFY(!f.terminal().sendPanel()->isVisible());
    QVERIFY(f.find<QLabel>("Status2")->text().startsWith(why));
    f.terminal().close();
    f.finish();
}

QTEST_MAIN(TerminalTest)
#include "tst_terminal.moc"
