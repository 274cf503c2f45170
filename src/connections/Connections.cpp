#include "Connections.h"

#include "ComPort.h"
#include "PortPermission.h"
#include "core/BaudRates.h"
#include "core/LoaderError.h"

#include <QFileInfo>
#include <cerrno>

namespace {

constexpr int kSerialReceiveBufferSize = 65536;
constexpr int kOpenAttempts = 20;
constexpr int kOpenPauseMs = 500;
constexpr int kDefaultBaudIndex = 6;

} // namespace

Connections::Connections(const ConnectionParts& parts, LinkFactory factory)
    : parts_(parts), factory_(std::move(factory)), comPort_(factory_.makeSerial()),
      serialReceiveBuffer_(kSerialReceiveBufferSize, '\0') {
    comPort_->onAfterOpen = [this] { ComPort1AfterOpen(); };
    comPort_->onAfterClose = [this] { ComPort1AfterClose(); };
    comPort_->onRxChar = [this](int count) { ComPort1RxChar(count); };
    incompleteFrameTimer_ = parts_.runtime.createTimer(kIncompleteFrameTimeoutMs,
                                                       [this] { incompleteFrameTimedOut(); });
}

Connections::~Connections() {
    tcpClient_.reset();
    comPort_->onAfterOpen = nullptr;
    comPort_->onAfterClose = nullptr;
    comPort_->onRxChar = nullptr;
}

void Connections::EnumerateSerialPorts(QStringList& list, const QString& prefix) {
    const QStringList system = factory_.systemPorts ? factory_.systemPorts() : QStringList();
    QStringList kept;
    for (const QString& name : system) {
        // Device paths (Linux) carry no "COM" prefix; they are listed as they are.
        if (name.startsWith(QLatin1Char('/')) || name.left(3) == prefix) {
            kept.append(name);
        }
    }
    list = kept;
}

void Connections::tbAutoComListClick() {
    ComboControl& ports = parts_.form.cmbComPort;
    ports.items.clear();
    ports.itemIndex = -1;
    if (parts_.form.tbAutoComList.checked) {
        EnumerateSerialPorts(ports.items, QStringLiteral("COM"));
        SelectCurrentPort();
        return;
    }
    for (int n = 1; n <= 99; ++n) {
        ports.items.append(QStringLiteral("COM%1").arg(n));
    }
}

bool Connections::SelectCurrentPort() {
    ComboControl& ports = parts_.form.cmbComPort;
    if (ports.items.contains(ports.text)) {
        return true;
    }
    // A device path typed into the box is kept while the device is there: the system's list
    // holds neither the stable names under /dev/serial/by-id nor pseudo-terminals, and its
    // first entry put in their place would take the next operation to another port unnoticed.
    if (ports.text.startsWith(QLatin1Char('/')) && QFileInfo::exists(ports.text)) {
        ports.itemIndex = -1;
        return true;
    }
    if (!ports.items.isEmpty()) {
        ports.select(0);
    } else {
        ports.itemIndex = -1;
        ports.text.clear();
    }
    return false;
}

QString Connections::serialPortName() const {
    FormModel& f = parts_.form;
    // A device path typed into the box is opened as typed, also when it is no entry: the
    // engineer must get the port he named, not entry 0.
    if (f.cmbComPort.text.startsWith(QLatin1Char('/'))) {
        return f.cmbComPort.text;
    }
    if (f.cmbComPort.items.isEmpty()) {
        throw LoaderError(QStringLiteral("В ситеме нет последовательных портов!!!"));
    }
    if (f.cmbComPort.itemIndex < 0) {
        f.cmbComPort.select(0);
    }
    return f.cmbComPort.selectedText();
}

void Connections::openSerial() {
    FormModel& f = parts_.form;
    Runtime& rt = parts_.runtime;
    const QString name = serialPortName();
    if (f.cmbBaudRate.itemIndex < 0) {
        f.cmbBaudRate.select(kDefaultBaudIndex);
    }
    comPort_->setPortName(name);
    int baud = 0;
    if (!BaudRates::rateOf(f.cmbBaudRate.itemIndex, baud)) {
        throw LoaderError(QStringLiteral("Ошибочное значение скорости СОМ порта!"));
    }
    comPort_->setBaudRate(baud);
    for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
        openSerialPort(name);
        parts_.output.setStatus(2, QStringLiteral("Открываем порт ") + name);
        rt.processEvents();
        rt.sleep(kOpenPauseMs);
        if (comPort_->isOpen()) {
            parts_.output.setStatus(2, QStringLiteral("Порт ") + name +
                                           QStringLiteral(" успешно открыт"));
            break;
        }
    }
}

void Connections::openSerialPort(const QString& name) {
    try {
        comPort_->open();
    } catch (const SerialError& e) {
        if (e.code() != EACCES && e.code() != EPERM) {
            throw;
        }
        const QString advice = PortPermission::advice(ComPort::deviceFor(name));
        throw SerialError(advice.isEmpty() ? e.text() : e.text() + QStringLiteral(". ") + advice,
                          e.code());
    }
}

bool Connections::serialPortOpen() const {
    return comPort_->isOpen();
}

void Connections::setSerialLines(bool dtr, bool rts) {
    comPort_->setControlLines(dtr, rts);
}

void Connections::closeSerialPort() {
    comPort_->close();
}

void Connections::write(LinkKind kind, const QByteArray& text) {
    switch (kind) {
    case LinkKind::Serial:
        comPort_->write(text);
        break;
    case LinkKind::Tcp:
        if (tcpClient_ && tcpClient_->isConnected()) {
            tcpClient_->write(text);
        }
        break;
    case LinkKind::Broker:
        SendBrokerFrame(text);
        break;
    default:
        break;
    }
}

void Connections::ComPort1AfterOpen() {
    FormModel& f = parts_.form;
    f.showLinkOpen();
    parts_.output.setStatus(2, f.cmbComPort.text + QStringLiteral(":открыт"));
    parts_.timer3->start();
    parts_.state.PendingTerminalText.clear();
    parts_.state.LastReceiveTick = parts_.runtime.tickCount();
    parts_.state.ConnectionOpen = true;
}

void Connections::ComPort1AfterClose() {
    FormModel& f = parts_.form;
    f.showLinkClosed();
    parts_.output.setStatus(2, f.cmbComPort.text + QStringLiteral(":закрыт"));
    parts_.timer3->stop();
    parts_.state.ConnectionOpen = false;
}

void Connections::ComPort1RxChar(int count) {
    try {
        const int wanted = std::min(count, kSerialReceiveBufferSize);
        const int n = comPort_->read(serialReceiveBuffer_.data(), wanted);
        if (n <= 0) {
            return; // nothing read: nothing changes, QuietTicks included
        }
        const QByteArray chunk(serialReceiveBuffer_.constData(), n);
        parts_.router.appendAnswer(chunk);
        parts_.router.routeToTerminal(chunk);
    } catch (const std::exception& e) {
        parts_.output.setStatus(3, errorText(e));
    }
    parts_.router.endReception();
}
