#include "AppSettings.h"

#include "FormModel.h"
#include "core/BaudRates.h"
#include "core/Loader.h"
#include "core/UiTexts.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <algorithm>
#include <array>

namespace {

const QString kDefaultIp = QStringLiteral("192.168.0.100");
constexpr int kDefaultPortNum = 10001;

int readInt(const QSettings& ini, const QString& key, int fallback) {
    bool ok = false;
    const int value = ini.value(key).toString().trimmed().toInt(&ok);
    return ok ? value : fallback;
}

bool readBool(const QSettings& ini, const QString& key, bool fallback) {
    const QVariant value = ini.value(key);
    return value.isValid() ? value.toBool() : fallback;
}

const std::array<const char*, 3> kPageNames = {"tsCOMPort", "tsTCPServer", "tsBroker"};

// The connection kind of the stored tool button icon, which decides it (the stored page is
// written for older versions only); an icon that is none of the three is the serial port.
LinkKind connectionKindOfIcon(int icon) {
    return icon == kIconTcp      ? LinkKind::Tcp
           : icon == kIconBroker ? LinkKind::Broker
                                 : LinkKind::Serial;
}

bool knownOperationIcon(int icon) {
    return icon == kIconFlash || icon == kIconStore || icon == kIconReadBack || icon == kIconCancel;
}

int selectedBaudRate(const FormModel& form) {
    int rate = BaudRates::kAll.back();
    BaudRates::rateOf(form.cmbBaudRate.itemIndex, rate);
    return rate;
}

// The port, the direct connection's and the broker's addresses and the controller's id.
void restoreAddresses(const QSettings& ini, FormModel& f) {
    f.cmbComPort.text = ini.value(QStringLiteral("cmbComPort.Text"), f.cmbComPort.text).toString();
    f.IPEdit.text = ini.value(QStringLiteral("IPEdit.Text"), f.IPEdit.text).toString();
    f.PortNum.text = ini.value(QStringLiteral("PortNum.Value"), f.PortNum.text).toString();
    f.BrokerIPEdt.text =
        ini.value(QStringLiteral("BrokerIPEdt.Text"), f.BrokerIPEdt.text).toString();
    f.BrokerPortEdt.text =
        ini.value(QStringLiteral("BrokerPortEdt.Value"), f.BrokerPortEdt.text).toString();
    f.HARDWARE_IDEdt.text =
        ini.value(QStringLiteral("HARDWARE_IDEdt.Value"), f.HARDWARE_IDEdt.text).toString();
}

// The connection kind and the operation the main button starts.
void restoreOperationChoice(const QSettings& ini, FormModel& f, Loader& loader) {
    f.setConnectionKind(
        connectionKindOfIcon(readInt(ini, QStringLiteral("ToolButton1.ImageIndex"), kIconSerial)));
    const int buttonIcon = readInt(ini, QStringLiteral("btnConnect.ImageIndex"), kIconFlash);
    f.btnConnect.imageIndex = knownOperationIcon(buttonIcon) ? buttonIcon : kIconFlash;
    loader.state.OperationMode =
        operationOfIcon(readInt(ini, QStringLiteral("PopupMenu1.Tag"), kIconFlash))
            .value_or(Operation::Flash);
    f.btnConnect.hint = ini.value(QStringLiteral("btnConnect.Hint"), f.btnConnect.hint).toString();
}

void restoreFileDialog(const QSettings& ini, FileDialogState& dialog) {
    dialog.filterIndex =
        readInt(ini, QStringLiteral("OpenDialog1.FilterIndex"), dialog.filterIndex);
    dialog.initialDir =
        ini.value(QStringLiteral("OpenDialog1.InitialDir"), dialog.initialDir).toString();
    dialog.defaultExt =
        ini.value(QStringLiteral("OpenDialog1.DefaultExt"), dialog.defaultExt).toString();
}

// The waits, the debug and fast-exchange menu items and the options of the firmware group.
void restoreOptions(const QSettings& ini, FormModel& f, Loader& loader) {
    // A negative time-out (a hand-edited file) is taken as 0, which is how the wait treats it.
    // The caption is made from the value: a stored caption may name another one.
    loader.setAnswerTimeout(
        std::max(0, readInt(ini, QStringLiteral("mnuTimeOut.Tag"), loader.state.AnswerTimeoutMs)));
    f.cbFinalization.visible = readBool(ini, QStringLiteral("cbFinalization.Visible"), false);
    f.cbDopInitCmd.visible = readBool(ini, QStringLiteral("cbDopInitCmd.Visible"), false);
    f.cbVerifyStored.visible = readBool(ini, QStringLiteral("cbVerifyStored.Visible"), false);
    f.cbWaitConnectLUMET.visible =
        readBool(ini, QStringLiteral("cbWaitConnectLUMET.Visible"), false);
    f.mnuDebug.checked = readBool(ini, QStringLiteral("mnuDebug.Checked"), false);
    f.mnuFastExchange.checked = readBool(ini, QStringLiteral("mnuFastExchange.Checked"), false);
    loader.setAnswerGap(
        std::max(0, readInt(ini, QStringLiteral("mnuAnswerGap.Tag"), kDefaultAnswerGapMs)));
    f.cbFinalization.checked = readBool(ini, QStringLiteral("cbFinalization.Checked"), false);
    // The accompanying initialisation follows the finalisation, as a click on it would set it.
    f.cbDopInitCmd.enabled = f.cbFinalization.checked;
    f.cbVerifyStored.checked = readBool(ini, QStringLiteral("cbVerifyStored.Checked"), false);
    f.cmbRestart.select(readInt(ini, QStringLiteral("cmbRestart.ItemIndex"), 0));
    if (f.cmbRestart.itemIndex < 0) {
        f.cmbRestart.select(0); // a hand-edited index out of range: a person restarts
    }
    f.cbWaitConnectLUMET.checked =
        readBool(ini, QStringLiteral("cbWaitConnectLUMET.Checked"), false);
}

WindowPlacement readPlacement(const QSettings& ini) {
    WindowPlacement placement;
    placement.stored = ini.contains(QStringLiteral("Left")) && ini.contains(QStringLiteral("Top"));
    placement.position =
        QPoint(readInt(ini, QStringLiteral("Left"), 0), readInt(ini, QStringLiteral("Top"), 0));
    placement.minimized = readInt(ini, QStringLiteral("WindowState"), 0) == 1;
    return placement;
}

} // namespace

AppSettings::AppSettings(QString dataDir) : dataDir_(std::move(dataDir)) {}

QString AppSettings::settingsFile() const {
    return QDir(dataDir_).filePath(QStringLiteral("Velkor.ini"));
}

QString AppSettings::executableIni() const {
    return QDir(dataDir_).filePath(QStringLiteral("velkor.ini"));
}

bool AppSettings::readDebugMode() const {
    QSettings ini(executableIni(), QSettings::IniFormat);
    const bool debug = readBool(ini, QStringLiteral("Options/DebugMode"), false);
    ini.setValue(QStringLiteral("Options/DebugMode"), debug ? 1 : 0);
    return debug;
}

int AppSettings::baudRateEntry(int rate) {
    const int entry = BaudRates::entryOf(rate);
    return entry >= 0 ? entry : int(BaudRates::kAll.size()) - 1;
}

WindowPlacement AppSettings::restoreForm(FormModel& form, Loader& loader) const {
    QSettings ini(executableIni(), QSettings::IniFormat);
    ini.beginGroup(QStringLiteral("StoreParams"));
    restoreAddresses(ini, form);
    restoreOperationChoice(ini, form, loader);
    restoreFileDialog(ini, loader.fileDialog);
    restoreOptions(ini, form, loader);
    return readPlacement(ini);
}

void AppSettings::storeForm(const FormModel& f, const Loader& loader,
                            const WindowPlacement& placement) const {
    QSettings ini(executableIni(), QSettings::IniFormat);
    ini.beginGroup(QStringLiteral("StoreParams"));
    const LoaderState& s = loader.state;
    const QString port =
        f.cmbComPort.itemIndex >= 0 ? f.cmbComPort.selectedText() : f.cmbComPort.text;
    ini.setValue(QStringLiteral("ComPort1.Port"), port);
    ini.setValue(QStringLiteral("cmbComPort.Text"), f.cmbComPort.text);
    ini.setValue(QStringLiteral("IPEdit.Text"), f.IPEdit.text);
    ini.setValue(QStringLiteral("PortNum.Value"), f.PortNum.roundedValue());
    ini.setValue(QStringLiteral("BrokerIPEdt.Text"), f.BrokerIPEdt.text);
    ini.setValue(QStringLiteral("BrokerPortEdt.Value"), f.BrokerPortEdt.roundedValue());
    ini.setValue(QStringLiteral("HARDWARE_IDEdt.Value"), f.HARDWARE_IDEdt.roundedValue());
    ini.setValue(QStringLiteral("ToolButton1.ImageIndex"), f.ToolButton1.imageIndex);
    ini.setValue(QStringLiteral("TypeOfConnectGrp.ActivePage"),
                 QLatin1String(kPageNames.at(std::size_t(linkKindNumber(f.TypeOfConnectGrpPage)))));
    ini.setValue(QStringLiteral("btnConnect.ImageIndex"), f.btnConnect.imageIndex);
    ini.setValue(QStringLiteral("PopupMenu1.Tag"), operationIcon(s.OperationMode));
    ini.setValue(QStringLiteral("btnConnect.Hint"), f.btnConnect.hint);
    ini.setValue(QStringLiteral("OpenDialog1.FilterIndex"), loader.fileDialog.filterIndex);
    ini.setValue(QStringLiteral("OpenDialog1.InitialDir"), loader.fileDialog.initialDir);
    ini.setValue(QStringLiteral("OpenDialog1.DefaultExt"), loader.fileDialog.defaultExt);
    ini.setValue(QStringLiteral("mnuTimeOut.Tag"), s.AnswerTimeoutMs);
    ini.setValue(QStringLiteral("mnuTimeOut.Caption"), f.mnuTimeOut.caption);
    ini.setValue(QStringLiteral("cbFinalization.Visible"), f.cbFinalization.visible ? 1 : 0);
    ini.setValue(QStringLiteral("cbDopInitCmd.Visible"), f.cbDopInitCmd.visible ? 1 : 0);
    ini.setValue(QStringLiteral("cbVerifyStored.Visible"), f.cbVerifyStored.visible ? 1 : 0);
    ini.setValue(QStringLiteral("cbWaitConnectLUMET.Visible"),
                 f.cbWaitConnectLUMET.visible ? 1 : 0);
    ini.setValue(QStringLiteral("mnuDebug.Checked"), f.mnuDebug.checked ? 1 : 0);
    ini.setValue(QStringLiteral("mnuFastExchange.Checked"), f.mnuFastExchange.checked ? 1 : 0);
    ini.setValue(QStringLiteral("mnuAnswerGap.Tag"), s.AnswerGapMs);
    ini.setValue(QStringLiteral("cbFinalization.Checked"), f.cbFinalization.checked ? 1 : 0);
    ini.setValue(QStringLiteral("cbVerifyStored.Checked"), f.cbVerifyStored.checked ? 1 : 0);
    ini.setValue(QStringLiteral("cmbRestart.ItemIndex"), f.cmbRestart.itemIndex);
    ini.setValue(QStringLiteral("cbWaitConnectLUMET.Checked"),
                 f.cbWaitConnectLUMET.checked ? 1 : 0);
    ini.setValue(QStringLiteral("Left"), placement.position.x());
    ini.setValue(QStringLiteral("Top"), placement.position.y());
    ini.setValue(QStringLiteral("WindowState"), placement.minimized ? 1 : 0);
}

void AppSettings::createSettingsFile(const FormModel& form) const {
    QSettings ini(settingsFile(), QSettings::IniFormat);
    ini.beginGroup(QStringLiteral("Settings"));
    const int port = form.cmbComPort.itemIndex;
    ini.setValue(QStringLiteral("COM"), port >= 0 ? port + 1 : 1);
    ini.setValue(QStringLiteral("BAUDRATE"), BaudRates::kDefault);
    ini.setValue(QStringLiteral("AutoList"), 1);
    ini.setValue(QStringLiteral("File"), QString());
    ini.setValue(QStringLiteral("IP"), kDefaultIp);
    ini.setValue(QStringLiteral("PORTNUM"), kDefaultPortNum);
}

void AppSettings::readSettings(FormModel& f, Loader& loader,
                               const std::function<void()>& fillPortList) const {
    if (!QFileInfo::exists(settingsFile())) {
        createSettingsFile(f);
    }
    QSettings ini(settingsFile(), QSettings::IniFormat);
    ini.beginGroup(QStringLiteral("Settings"));
    const int com = readInt(ini, QStringLiteral("COM"), 1);
    f.PortNum.text = QString::number(readInt(ini, QStringLiteral("PORTNUM"), kDefaultPortNum));
    f.IPEdit.text = ini.value(QStringLiteral("IP"), kDefaultIp).toString();
    f.tbAutoComList.checked = readBool(ini, QStringLiteral("AutoList"), true);
    if (fillPortList) {
        fillPortList();
    }
    f.cmbComPort.select(com - 1);
    f.cmbBaudRate.select(
        baudRateEntry(readInt(ini, QStringLiteral("BAUDRATE"), BaudRates::kDefault)));
    loader.state.FirmwareFilePath = ini.value(QStringLiteral("File")).toString();
    f.edName.text = loader.state.FirmwareFilePath;
}

void AppSettings::writeSettings(const FormModel& f, const Loader& loader) const {
    QSettings ini(settingsFile(), QSettings::IniFormat);
    ini.beginGroup(QStringLiteral("Settings"));
    ini.setValue(QStringLiteral("AutoList"), f.tbAutoComList.checked ? 1 : 0);
    ini.setValue(QStringLiteral("COM"), f.cmbComPort.itemIndex + 1);
    ini.setValue(QStringLiteral("PORTNUM"), f.PortNum.roundedValue());
    ini.setValue(QStringLiteral("BAUDRATE"), selectedBaudRate(f));
    ini.setValue(QStringLiteral("File"), loader.state.FirmwareFilePath);
    ini.setValue(QStringLiteral("IP"), f.IPEdit.text);
}

QStringList AppSettings::readInitCommands(const QStringList& fallback) const {
    QSettings ini(executableIni(), QSettings::IniFormat);
    ini.beginGroup(QStringLiteral("TForm4"));
    if (!ini.contains(QStringLiteral("DopCmdMemo.Count"))) {
        return fallback;
    }
    // A hand-edited count cannot make the window read without end.
    const int count = qBound(0, readInt(ini, QStringLiteral("DopCmdMemo.Count"), 0), 10000);
    QStringList lines;
    for (int i = 0; i < count; ++i) {
        lines.append(ini.value(QStringLiteral("DopCmdMemo.Item%1").arg(i)).toString());
    }
    return lines;
}

void AppSettings::writeInitCommands(const QStringList& lines) const {
    QSettings ini(executableIni(), QSettings::IniFormat);
    ini.beginGroup(QStringLiteral("TForm4"));
    ini.remove(QString());
    ini.setValue(QStringLiteral("DopCmdMemo.Count"), lines.size());
    for (qsizetype i = 0; i < lines.size(); ++i) {
        ini.setValue(QStringLiteral("DopCmdMemo.Item%1").arg(i), lines.at(i));
    }
}
