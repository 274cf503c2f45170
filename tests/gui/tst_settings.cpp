#include "GuiFixture.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QSettings>
#include <QStackedWidget>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

namespace {

QString settingsPath(const QString& dir) {
    return QDir(dir).filePath(QStringLiteral("Velkor.ini"));
}

} // namespace

class SettingsTest : public QObject {
    Q_OBJECT

private slots:
    void firstRunCreatesSettingsWithDefaults();
    void baudRateSelectsItsEntry_data();
    void baudRateSelectsItsEntry();
    void settingsRoundTrip();
    void debugModeIsWrittenBack();
    void windowReopensWhereItWas();
    void typedPortIsKept_data();
    void typedPortIsKept();
    void handEditedSettingsStartSanely_data();
    void handEditedSettingsStartSanely();
};

void SettingsTest::firstRunCreatesSettingsWithDefaults() {
    GuiFixture f;
    QVERIFY(!QFile::exists(settingsPath(f.dataDir)));
    f.start();
    QVERIFY(QFile::exists(settingsPath(f.dataDir)));
    QSettings ini(settingsPath(f.dataDir), QSettings::IniFormat);
    QCOMPARE(ini.value(QStringLiteral("Settings/COM")).toString(), QStringLiteral("1"));
    QCOMPARE(ini.value(QStringLiteral("Settings/BAUDRATE")).toString(), QStringLiteral("115200"));
    QCOMPARE(ini.value(QStringLiteral("Settings/AutoList")).toString(), QStringLiteral("1"));
    QCOMPARE(ini.value(QStringLiteral("Settings/File")).toString(), QString());
    QCOMPARE(ini.value(QStringLiteral("Settings/IP")).toString(), QStringLiteral("192.168.0.100"));
    QCOMPARE(ini.value(QStringLiteral("Settings/PORTNUM")).toString(), QStringLiteral("10001"));

    QCOMPARE(f.find<QStackedWidget>("TypeOfConnectGrp")->currentIndex(), 0);
    QCOMPARE(f.find<QComboBox>("cmbBaudRate")->currentText(), QStringLiteral("115200"));
    // No file is named yet: the first activation completes without an error box.
    QVERIFY(!f.loader().state.FirstActivation);
    QVERIFY(f.dialogs.calls.isEmpty());
    QCOMPARE(f.window().windowTitle(), QStringLiteral("Обновление ПО:Korve Loader (Версия 1.97)"));
}

void SettingsTest::baudRateSelectsItsEntry_data() {
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("shown");
    QTest::newRow("4800 is not in the list") << "4800"
                                             << "256000";
    QTest::newRow("128000 is not in the list") << "128000"
                                               << "256000";
    QTest::newRow("9600") << "9600"
                          << "9600";
    QTest::newRow("57600") << "57600"
                           << "57600";
    QTest::newRow("not a number") << "fast"
                                  << "115200";
}

void SettingsTest::baudRateSelectsItsEntry() {
    QFETCH(QString, stored);
    QFETCH(QString, shown);
    QTemporaryDir dir;
    {
        QSettings ini(settingsPath(dir.path()), QSettings::IniFormat);
        ini.setValue(QStringLiteral("Settings/BAUDRATE"), stored);
    }
    GuiFixture f(dir.path());
    f.start();
    QCOMPARE(f.form().cmbBaudRate.selectedText(), shown);
    QCOMPARE(f.find<QComboBox>("cmbBaudRate")->currentText(), shown);
}

void SettingsTest::settingsRoundTrip() {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("прошивка LUMET.s28"));
    {
        GuiFixture f(dir.path());
        f.start();
        Loader& l = f.loader();
        auto* ip = f.find<QLineEdit>("IPEdit");
        ip->clear();
        QTest::keyClicks(ip, QStringLiteral("10.0.0.7"));
        f.form().PortNum.text = QStringLiteral("2001");
        f.form().tbAutoComList.checked = false;
        f.form().cmbComPort.items = {QStringLiteral("COM1"), QStringLiteral("COM2"),
                                     QStringLiteral("COM3")};
        f.form().cmbComPort.select(2);
        f.form().cmbBaudRate.select(3);
        l.state.FirmwareFilePath = file;
        f.form().edName.text = file;
        f.form().BrokerIPEdt.text = QStringLiteral("broker.example");
        f.form().BrokerPortEdt.text = QStringLiteral("10010");
        f.form().HARDWARE_IDEdt.text = QStringLiteral("4711");
        f.app->binding.ToolButton1Click();
        f.app->binding.ToolButton1Click();
        f.app->binding.N1Click(Operation::Store);
        l.setAnswerTimeout(2500);
        f.form().mnuDebug.checked = true;
        f.find<QAction>("mnuFastExchange")->trigger();
        l.setAnswerGap(800);
        f.loader().fileDialog.filterIndex = 2;
        f.form().cbWaitConnectLUMET.checked = true;
        f.form().cbFinalization.checked = true;
        f.form().DopCmdMemo = {QStringLiteral("SILENCETIME 300"),
                               QStringLiteral("NAME Котельная, 2")};
        f.app->syncAll();
        f.window().close();
    }
    QSettings ini(settingsPath(dir.path()), QSettings::IniFormat);
    QCOMPARE(ini.value(QStringLiteral("Settings/AutoList")).toString(), QStringLiteral("0"));
    QCOMPARE(ini.value(QStringLiteral("Settings/COM")).toString(), QStringLiteral("3"));
    QCOMPARE(ini.value(QStringLiteral("Settings/BAUDRATE")).toString(), QStringLiteral("38400"));

    GuiFixture f(dir.path());
    f.start();
    Loader& l = f.loader();
    QCOMPARE(f.form().IPEdit.text, QStringLiteral("10.0.0.7"));
    QCOMPARE(f.form().PortNum.text, QStringLiteral("2001"));
    QCOMPARE(f.form().tbAutoComList.checked, false);
    QCOMPARE(f.form().cmbBaudRate.selectedText(), QStringLiteral("38400"));
    QCOMPARE(l.state.FirmwareFilePath, file);
    QCOMPARE(f.find<QLineEdit>("edName")->text(), file);
    QCOMPARE(f.form().BrokerIPEdt.text, QStringLiteral("broker.example"));
    QCOMPARE(f.form().BrokerPortEdt.roundedValue(), 10010);
    QCOMPARE(f.form().HARDWARE_IDEdt.roundedValue(), 4711);
    QCOMPARE(f.form().ToolButton1.imageIndex, 89);
    QCOMPARE(f.find<QStackedWidget>("TypeOfConnectGrp")->currentIndex(), 2);
    QCOMPARE(l.state.OperationMode, Operation::Store);
    QCOMPARE(f.form().btnConnect.hint,
             QStringLiteral("Загрузка прошивки в память хранения контроллера"));
    QCOMPARE(l.state.AnswerTimeoutMs, 2500);
    QCOMPARE(f.find<QAction>("mnuTimeOut")->text(), QStringLiteral("&Время ожидания, 2500 мсек"));
    QVERIFY(f.form().mnuDebug.checked);
    QVERIFY(f.form().mnuFastExchange.checked);
    QVERIFY(f.find<QAction>("mnuFastExchange")->isChecked());
    QCOMPARE(l.state.AnswerGapMs, 800);
    QCOMPARE(f.find<QAction>("mnuAnswerGap")->text(),
             QStringLiteral("&Пауза внутри ответа, 800 мсек"));
    QCOMPARE(f.loader().fileDialog.filterIndex, 2);
    QCOMPARE(f.loader().fileDialog.defaultExt, QStringLiteral("*.s28"));
    QVERIFY(f.form().cbWaitConnectLUMET.checked);
    QVERIFY(f.form().cbFinalization.visible);
    QVERIFY(f.find<QCheckBox>("cbFinalization")->isChecked());
    QVERIFY(f.find<QCheckBox>("cbDopInitCmd")->isEnabled());
    QCOMPARE(f.form().DopCmdMemo,
             (QStringList{QStringLiteral("SILENCETIME 300"), QStringLiteral("NAME Котельная, 2")}));
}

void SettingsTest::debugModeIsWrittenBack() {
    QTemporaryDir dir;
    const QString exeIni = dir.filePath(QStringLiteral("velkor.ini"));
    {
        GuiFixture f(dir.path());
        QVERIFY(!f.loader().state.DebugMode);
    }
    QCOMPARE(QSettings(exeIni, QSettings::IniFormat)
                 .value(QStringLiteral("Options/DebugMode"))
                 .toString(),
             QStringLiteral("0"));
    QSettings(exeIni, QSettings::IniFormat).setValue(QStringLiteral("Options/DebugMode"), 1);
    GuiFixture f(dir.path());
    QVERIFY(f.loader().state.DebugMode);
}

// Three runs, and the window's client area is where the user left it, with no drift by the
// height of the title bar. What is stored is the client area's origin: the frame is known only
// once a window manager has drawn it (the offscreen platform draws a frame of 2 pixels).
void SettingsTest::windowReopensWhereItWas() {
    QTemporaryDir dir;
    QPoint placed;
    for (int run = 0; run < 3; ++run) {
        GuiFixture f(dir.path());
        f.start();
        if (run == 0) {
            // Whole on the offscreen platform's screen of 800 × 600.
            f.window().move(40, 180);
            QTRY_COMPARE(f.window().pos(), QPoint(40, 180));
            placed = f.window().geometry().topLeft();
        }
        QTRY_COMPARE(f.window().geometry().topLeft(), placed);
        f.window().close();
        QSettings ini(QDir(dir.path()).filePath(QStringLiteral("velkor.ini")),
                      QSettings::IniFormat);
        QCOMPARE(QPoint(ini.value(QStringLiteral("StoreParams/Left")).toInt(),
                        ini.value(QStringLiteral("StoreParams/Top")).toInt()),
                 placed);
    }
}

void SettingsTest::typedPortIsKept_data() {
    QTest::addColumn<QString>("port"); // typed into the box; "pty": a pseudo-terminal's path
    QTest::addColumn<bool>("listed");  // "В системе": the system's ports are listed
    QTest::addColumn<bool>("kept");
    QTest::newRow("pseudo-terminal, system's ports") << "pty" << true << true;
    QTest::newRow("pseudo-terminal, fixed list") << "pty" << false << true;
    QTest::newRow("device gone, system's ports") << "/dev/velkor-gone" << true << true;
    QTest::newRow("device gone, fixed list") << "/dev/velkor-gone" << false << true;
}

// A port typed into the box (a stable name under /dev/serial/by-id, a pseudo-terminal) is the
// port at the next start, also when the system's list lacks it; one that is not there now (an
// adapter plugged in later) is said to be missing.
void SettingsTest::typedPortIsKept() {
    QFETCH(QString, port);
    QFETCH(bool, listed);
    QFETCH(bool, kept);
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    QVERIFY(master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0);
    const QString typed =
        port == QLatin1String("pty") ? QString::fromLocal8Bit(ptsname(master)) : port;
    QTemporaryDir dir;
    {
        GuiFixture f(dir.path());
        f.start();
        if (f.find<QCheckBox>("tbAutoComList")->isChecked() != listed) {
            QTest::mouseClick(f.find<QCheckBox>("tbAutoComList"), Qt::LeftButton);
        }
        f.find<QComboBox>("cmbComPort")->setEditText(typed);
        f.window().close();
    }
    GuiFixture f(dir.path());
    f.start();
    QCOMPARE(f.find<QCheckBox>("tbAutoComList")->isChecked(), listed);
    QCOMPARE(f.find<QComboBox>("cmbComPort")->currentText() == typed, kept);
    const bool missing = !QFileInfo::exists(typed);
    const QString note = typed + QStringLiteral(": нет в системе");
    QCOMPARE(f.find<QComboBox>("cmbComPort")->toolTip().contains(note), missing);
    QCOMPARE(f.loader().output.status(2) == note, missing);
    ::close(master);
}

// A hand-edited or damaged value in either settings file starts the program with a usable
// window: every selection in range, the named file (if any) reported rather than read without
// end, and the settings written back on close.
void SettingsTest::handEditedSettingsStartSanely_data() {
    QTest::addColumn<QString>("file"); // "Velkor.ini" or the program's own "velkor.ini"
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    const QString settings = QStringLiteral("Velkor.ini");
    const QString own = QStringLiteral("velkor.ini");
    const QStringList bad = {QString(), QStringLiteral("abc"), QStringLiteral("-1"),
                             QStringLiteral("99999999999"), QStringLiteral("\u00ff\u0001")};
    const QStringList settingsKeys = {"Settings/COM",  "Settings/BAUDRATE", "Settings/AutoList",
                                      "Settings/File", "Settings/IP",       "Settings/PORTNUM"};
    const QStringList ownKeys = {"StoreParams/ToolButton1.ImageIndex",
                                 "StoreParams/TypeOfConnectGrp.ActivePage",
                                 "StoreParams/btnConnect.ImageIndex",
                                 "StoreParams/PopupMenu1.Tag",
                                 "StoreParams/mnuTimeOut.Tag",
                                 "StoreParams/mnuAnswerGap.Tag",
                                 "StoreParams/PortNum.Value",
                                 "StoreParams/BrokerPortEdt.Value",
                                 "StoreParams/HARDWARE_IDEdt.Value",
                                 "StoreParams/OpenDialog1.FilterIndex",
                                 "StoreParams/Left",
                                 "TForm4/DopCmdMemo.Count",
                                 "Options/DebugMode"};
    for (const QString& value : bad) {
        for (const QString& key : settingsKeys) {
            QTest::addRow("%s=%s", qPrintable(key), qPrintable(value)) << settings << key << value;
        }
        for (const QString& key : ownKeys) {
            QTest::addRow("%s=%s", qPrintable(key), qPrintable(value)) << own << key << value;
        }
    }
    QTest::newRow("File names an endless device")
        << settings << QStringLiteral("Settings/File") << QStringLiteral("/dev/zero");
    QTest::newRow("File names a folder")
        << settings << QStringLiteral("Settings/File") << QStringLiteral("/");
}

void SettingsTest::handEditedSettingsStartSanely() {
    QFETCH(QString, file);
    QFETCH(QString, key);
    QFETCH(QString, value);
    QTemporaryDir dir;
    {
        QSettings ini(QDir(dir.path()).filePath(file), QSettings::IniFormat);
        ini.setValue(key, value);
    }
    GuiFixture f(dir.path());
    f.start();
    const Loader& l = f.loader();
    QVERIFY(f.form().cmbBaudRate.itemIndex >= 0 && f.form().cmbBaudRate.itemIndex < 8);
    QVERIFY(linkKindOfNumber(linkKindNumber(f.form().TypeOfConnectGrpPage)).has_value());
    QVERIFY(
        QList<int>({kIconSerial, kIconTcp, kIconBroker}).contains(f.form().ToolButton1.imageIndex));
    QVERIFY(operationIcon(l.state.OperationMode) != 0);
    QVERIFY(l.state.AnswerTimeoutMs >= 0);
    QVERIFY(l.state.AnswerGapMs >= 0);
    QVERIFY(f.form().DopCmdMemo.size() <= 10000);
    // At most one report, of the named file.
    QVERIFY(f.dialogs.calls.size() <= 1);
    f.window().close();
    QVERIFY(QFile::exists(settingsPath(dir.path())));
}

QTEST_MAIN(SettingsTest)
#include "tst_settings.moc"
