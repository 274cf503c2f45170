#include "DevsimProcess.h"
#include "GuiFixture.h"
#include "TestFirmware.h"

#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <QTimer>
#include <QToolButton>

namespace {

struct ControlsSeen {
    bool sampled = false;
    QString caption;
    bool toolButton1Enabled = true;
    bool exitEnabled = true;
    bool openEnabled = true;
    bool hasMenu = true;
};

} // namespace

class OperationTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void flashOverTcpStartedByClick();
    void secondClickCancels();
    void storageLoadWithOptionsFromTheWindow();

private:
    // Points the window at the simulator over TCP/IP and picks the firmware file with the file
    // button, as the engineer would.
    void prepare(GuiFixture& f, int port, const QString& file);
    ControlsSeen sample(GuiFixture& f);

    DevsimProcess devsim_;
};

void OperationTest::initTestCase() {
    QVERIFY(devsim_.start({QStringLiteral("--tcp"), QStringLiteral("0"),
                           QStringLiteral("--banner-interval"), QStringLiteral("200")}));
}

void OperationTest::prepare(GuiFixture& f, int port, const QString& file) {
    f.start();
    QTest::mouseClick(f.find<QToolButton>("ToolButton1"), Qt::LeftButton);
    auto* ip = f.find<QLineEdit>("IPEdit");
    ip->clear();
    QTest::keyClicks(ip, QStringLiteral("127.0.0.1"));
    f.find<QSpinBox>("PortNum")->setValue(port);
    f.dialogs.queueFile(file);
    QTest::mouseClick(f.find<QToolButton>("btnOpen"), Qt::LeftButton);
    QCOMPARE(f.find<QLineEdit>("edName")->text(), file);
    QCOMPARE(f.find<QLineEdit>("edtUnitSign")->text(), QStringLiteral("HDR LUMET 2.64"));
}

ControlsSeen OperationTest::sample(GuiFixture& f) {
    ControlsSeen seen;
    seen.sampled = true;
    auto* button = f.find<QToolButton>("btnConnect");
    seen.caption = button->text().remove(QLatin1Char('&')); // without its mnemonic
    seen.hasMenu = button->menu() != nullptr;
    seen.toolButton1Enabled = f.find<QToolButton>("ToolButton1")->isEnabled();
    seen.exitEnabled = f.find<QToolButton>("btnExit")->isEnabled();
    seen.openEnabled = f.find<QToolButton>("btnOpen")->isEnabled();
    return seen;
}

void OperationTest::flashOverTcpStartedByClick() {
    GuiFixture f;
    const QString file = writeTestFirmware(f.dataDir, 20);
    prepare(f, devsim_.tcpPort(), file);

    ControlsSeen during;
    QTimer::singleShot(150, [&] { during = sample(f); });
    QTest::mouseClick(f.find<QToolButton>("btnConnect"), Qt::LeftButton);
    f.awaitOperation();

    QVERIFY(during.sampled);
    QCOMPARE(during.caption, QStringLiteral("Отмена"));
    QVERIFY(!during.hasMenu);
    QVERIFY(!during.toolButton1Enabled);
    QVERIFY(!during.exitEnabled);
    QVERIFY(!during.openEnabled);

    const QString status = f.find<QLabel>("Status3")->text();
    QVERIFY2(status.startsWith(QStringLiteral("Операция выполнена за ")), qPrintable(status));
    QCOMPARE(f.find<QLabel>("Status0")->text(), QStringLiteral("22:22"));
    QCOMPARE(f.find<QLabel>("UnitSign")->text(), QStringLiteral("UNIT:LUMET52"));
    const ControlsSeen after = sample(f);
    QCOMPARE(after.caption, QStringLiteral("Загрузить прошивку"));
    QVERIFY(after.hasMenu && after.toolButton1Enabled && after.exitEnabled && after.openEnabled);
    QCOMPARE(f.find<QToolButton>("btnConnect")->property("velkorImageIndex").toInt(), 18);

    QFile journal(QDir(f.dataDir).filePath(QStringLiteral("velkor.jnl")));
    QVERIFY(journal.open(QIODevice::ReadOnly));
    const QByteArray entry = journal.readAll();
    QVERIFY(entry.contains("Params:IP:127.0.0.1 Port: " + QByteArray::number(devsim_.tcpPort())));
    QVERIFY(
        entry.contains("Msg:\xce\xef\xe5\xf0\xe0\xf6\xe8\xff \xe2\xfb\xef\xee\xeb\xed\xe5\xed\xe0"
                       " \xe7\xe0 "));
    QVERIFY(f.dialogs.calls.size() == 1 && f.dialogs.calls.at(0).kind == QStringLiteral("file"));
}

void OperationTest::secondClickCancels() {
    GuiFixture f;
    const QString file = writeTestFirmware(f.dataDir, 2000);
    prepare(f, devsim_.tcpPort(), file);
    auto* button = f.find<QToolButton>("btnConnect");
    QString statusAtCancel;
    QTimer::singleShot(600, [&] {
        QTest::mouseClick(button, Qt::LeftButton);
        statusAtCancel = f.find<QLabel>("Status3")->text();
    });
    QElapsedTimer clock;
    clock.start();
    QTest::mouseClick(button, Qt::LeftButton);
    f.awaitOperation();
    QVERIFY2(clock.elapsed() < 5000, "the operation did not end soon after the cancel");
    QCOMPARE(statusAtCancel, QStringLiteral("Отменено пользователем."));
    // The cancelled flash is reported as such, not as done, and the counter keeps how far it
    // got.
    const QString cancelled = QStringLiteral("Операция не выполнена - отменено пользователем");
    QCOMPARE(f.loader().output.status(3), cancelled);
    QVERIFY(f.find<QLabel>("Status3")->text().startsWith(QStringLiteral("Операция не выполнена")));
    QVERIFY(f.loader().output.status(0) != QStringLiteral("2002:2002"));
    QVERIFY(!f.loader().state.OperationActive);
    const ControlsSeen after = sample(f);
    QCOMPARE(after.caption, QStringLiteral("Загрузить прошивку"));
    QVERIFY(after.hasMenu && after.toolButton1Enabled && after.exitEnabled);
}

void OperationTest::storageLoadWithOptionsFromTheWindow() {
    GuiFixture f;
    const QString file = writeTestFirmware(f.dataDir, 30);
    prepare(f, devsim_.tcpPort(), file);
    f.find<QAction>("N2")->trigger();
    QTest::mouseClick(f.find<QCheckBox>("cbFinalization"), Qt::LeftButton);
    QTest::mouseClick(f.find<QCheckBox>("cbDopInitCmd"), Qt::LeftButton);
    QPlainTextEdit* memo = f.app->init->memo();
    memo->moveCursor(QTextCursor::End);
    QTest::keyClick(memo, Qt::Key_Return);
    QTest::keyClicks(memo, QStringLiteral("DEBUG 0"));
    f.loader().state.AnswerTimeoutMs = 3000;
    f.dialogs.queueConfirm(true); // from the start

    QTest::mouseClick(f.find<QToolButton>("btnConnect"), Qt::LeftButton);
    f.awaitOperation();
    const QString status = f.find<QLabel>("Status3")->text();
    QVERIFY2(status.startsWith(QStringLiteral("Операция выполнена за ")), qPrintable(status));
    // The commands of the accompanying initialisation went out after the upload.
    const QList<QByteArray>& lines = f.loader().terminal.lines;
    const qsizetype silence = lines.indexOf("SILENCETIME 300");
    QVERIFY(silence > 0);
    const qsizetype added = lines.indexOf("DEBUG 0", silence);
    QVERIFY(added > silence);
    QVERIFY(lines.indexOf("REPROGRAMM W", added) > added);
}

QTEST_MAIN(OperationTest)
#include "tst_operation.moc"
