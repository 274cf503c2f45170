#include "FormModel.h"

#include "core/BaudRates.h"
#include "core/FlashRestart.h"
#include "core/LoaderState.h"
#include "core/UiTexts.h"

FormModel::FormModel() {
    setUpToolBar();
    setUpConnectionGroup();
    setUpFirmwareGroup();
    setUpStatusAndMenus();
    DopCmdMemo = {QStringLiteral("SILENCETIME 300")};
}

void FormModel::setUpToolBar() {
    setConnectionKind(LinkKind::Serial);
    btnConnect.caption = UiTexts::startButton();
    btnConnect.imageIndex = kIconFlash;
    btnConnect.hint = UiTexts::menuFlash();
    btnConnect.dropDown = true;
}

void FormModel::setUpConnectionGroup() {
    Panel1.caption = QStringLiteral("Настройки соединения");
    cmbComPort.items = {QStringLiteral("COM1")};
    cmbComPort.text = QStringLiteral("COM1");
    cmbComPort.hint = QStringLiteral("последовательный порт");
    tbAutoComList.caption = QStringLiteral("В системе");
    tbAutoComList.hint = QStringLiteral("Выбрать доступные порты в системе");
    cmbBaudRate.items = BaudRates::texts();
    cmbBaudRate.text = QString::number(BaudRates::kDefault);
    cmbBaudRate.hint = QStringLiteral("скорость соединения");
    IPEdit.text = QStringLiteral("192.168.0.100");
    IPEdit.hint = QStringLiteral("IP адрес сервера");
    PortNum.text = QStringLiteral("10001");
    PortNum.hint = QStringLiteral("порт сервера");
    BrokerIPEdt.text = QStringLiteral("192.168.0.100");
    BrokerPortEdt.text = QStringLiteral("10002");
    HARDWARE_IDEdt.text = QStringLiteral("0");
}

void FormModel::setUpFirmwareGroup() {
    edName.hint = QString();
    btnOpen.caption = QStringLiteral("Выбрать файл ...");
    btnOpen.hint = QStringLiteral("Выбрать файл для загрузки");
    edtUnitSign.enabled = false;
    edtUnitSign.maxLength = 60;
    edtUnitSign.tag = -1;
    btnHeaderEdit.caption = QStringLiteral("Редактировать");
    btnHeaderEdit.enabled = false;
    cmbRestart.items = FlashRestart::captions();
    cmbRestart.select(FlashRestart::None);
    cmbRestart.hint = QStringLiteral("Как перезапустить контроллер перед прошивкой");
    cbFinalization.caption = QStringLiteral("Финализация устройства");
    cbFinalization.visible = false;
    cbWaitConnectLUMET.caption = QStringLiteral("Дожидаться подключения LUMET");
    cbWaitConnectLUMET.visible = false;
    cbDopInitCmd.caption = QStringLiteral("Сопутствующая инициализация");
    cbDopInitCmd.visible = false;
    cbDopInitCmd.enabled = false;
    cbVerifyStored.caption = QStringLiteral("Проверить записанное");
    cbVerifyStored.visible = false;
}

void FormModel::setUpStatusAndMenus() {
    mnuTimeOut.caption = QStringLiteral("Время ожидания, 80000 мсек");
    mnuTimeOut.tag = 80000;
    mnuDebug.caption = QStringLiteral("Отладка");
    mnuFastExchange.caption = QStringLiteral("Быстрый обмен");
    mnuAnswerGap.caption = QStringLiteral("Пауза внутри ответа, 500 мсек");
    mnuAnswerGap.tag = kDefaultAnswerGapMs;
}

// The operation's options are taken when it starts: changed during it they would do nothing,
// so they are locked with the connection, the file and the exit.
void FormModel::enableOutsideOperation(bool enabled) {
    operationRunning_ = !enabled;
    for (Control* control : std::initializer_list<Control*>{
             &ToolButton1, &Panel1, &cmbComPort, &btnOpen, &btnHeaderEdit, &btnExit, &cmbRestart,
             &cbFinalization, &cbWaitConnectLUMET, &cbVerifyStored}) {
        control->enabled = enabled;
    }
    // The accompanying initialisation goes with the finalisation only.
    cbDopInitCmd.enabled = enabled && cbFinalization.checked;
}

void FormModel::lockForOperation() {
    enableOutsideOperation(false);
    btnConnect.caption = UiTexts::cancelButton();
    btnConnect.imageIndex = kIconCancel;
    btnConnect.dropDown = false;
}

void FormModel::releaseAfterOperation(Operation operation) {
    enableOutsideOperation(true);
    btnConnect.caption = UiTexts::startButton();
    btnConnect.imageIndex = operationIcon(operation);
    btnConnect.dropDown = true;
}

void FormModel::showLinkOpen() {
    cmbComPort.enabled = false;
    cmbBaudRate.enabled = false;
}

// While an operation runs, the connection stays locked until the operation has ended: the
// journal and the next operation must find the link it used.
void FormModel::showLinkClosed() {
    cmbBaudRate.enabled = true;
    if (operationRunning_) {
        return;
    }
    ToolButton1.enabled = true;
    Panel1.enabled = true;
    cmbComPort.enabled = true;
}

void FormModel::setConnectionKind(LinkKind kind) {
    TypeOfConnectGrpPage = kind;
    ToolButton1.imageIndex = iconOfKind(kind);
}

int FormModel::iconOfKind(LinkKind kind) {
    switch (kind) {
    case LinkKind::Tcp:
        return kIconTcp;
    case LinkKind::Broker:
        return kIconBroker;
    default:
        return kIconSerial;
    }
}

void FormModel::showAnswerTimeout(int ms) {
    if (mnuTimeOut.tag != ms) {
        mnuTimeOut.tag = ms;
        mnuTimeOut.caption = QStringLiteral("Время ожидания, %1 мсек").arg(ms);
    }
}

void FormModel::showAnswerGap(int ms) {
    if (mnuAnswerGap.tag != ms) {
        mnuAnswerGap.tag = ms;
        mnuAnswerGap.caption = QStringLiteral("Пауза внутри ответа, %1 мсек").arg(ms);
    }
}
