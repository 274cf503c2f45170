#include "SerialLink.h"

#include "ComPort.h"
#include "PortPermission.h"
#include "core/BaudRates.h"
#include "core/LoaderError.h"

#include <cerrno>

namespace {

constexpr int kReceiveBufferSize = 65536;
constexpr int kOpenAttempts = 20;
constexpr int kOpenPauseMs = 500;

} // namespace

SerialLink::SerialLink(const ConnectionParts& parts, LinkFactory& layers)
    : parts_(parts), port_(layers.makeSerial()), delay_(parts.runtime),
      receiveBuffer_(kReceiveBufferSize, '\0') {
    port_->onAfterOpen = [this] { afterOpen(); };
    port_->onAfterClose = [this] { afterClose(); };
    port_->onRxChar = [this](int count) { received(count); };
}

SerialLink::~SerialLink() {
    port_->onAfterOpen = nullptr;
    port_->onAfterClose = nullptr;
    port_->onRxChar = nullptr;
}

Task<void> SerialLink::open(LinkSettings settings) {
    const QString name = settings.serialPort;
    if (name.isEmpty()) {
        throw LoaderError(QStringLiteral("В ситеме нет последовательных портов!!!"));
    }
    portName_ = name;
    port_->setPortName(name);
    if (BaudRates::entryOf(settings.baud) < 0) {
        throw LoaderError(QStringLiteral("Ошибочное значение скорости СОМ порта!"));
    }
    port_->setBaudRate(settings.baud);
    for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
        openPort(name);
        parts_.output.setStatus(2, QStringLiteral("Открываем порт ") + name);
        co_await delay_.after(kOpenPauseMs);
        if (port_->isOpen()) {
            parts_.output.setStatus(2, QStringLiteral("Порт ") + name +
                                           QStringLiteral(" успешно открыт"));
            break;
        }
    }
}

void SerialLink::openPort(const QString& name) {
    try {
        port_->open();
    } catch (const SerialError& e) {
        if (e.code() != EACCES && e.code() != EPERM) {
            throw;
        }
        const QString advice = PortPermission::advice(ComPort::deviceFor(name));
        throw SerialError(advice.isEmpty() ? e.text() : e.text() + QStringLiteral(". ") + advice,
                          e.code());
    }
}

void SerialLink::write(const QByteArray& text) {
    port_->write(text);
}

void SerialLink::close() {
    if (port_->isOpen()) {
        port_->close();
    }
}

// A port held open keeps every other program (a terminal, another loader) off the device.
void SerialLink::releaseDevice() {
    close();
}

void SerialLink::setControlLines(bool dtr, bool rts) {
    port_->setControlLines(dtr, rts);
}

void SerialLink::afterOpen() {
    parts_.output.showLinkOpen(true);
    parts_.output.setStatus(2, portName_ + QStringLiteral(":открыт"));
    parts_.timer3->start();
    parts_.state.PendingTerminalText.clear();
    parts_.state.LastReceiveTick = parts_.runtime.tickCount();
    parts_.state.ConnectionOpen = true;
}

void SerialLink::afterClose() {
    parts_.output.showLinkOpen(false);
    parts_.output.setStatus(2, portName_ + QStringLiteral(":закрыт"));
    parts_.timer3->stop();
    parts_.state.ConnectionOpen = false;
}

void SerialLink::received(int count) {
    try {
        const int wanted = std::min(count, kReceiveBufferSize);
        const int n = port_->read(receiveBuffer_.data(), wanted);
        if (n <= 0) {
            return; // nothing read: nothing changes, QuietTicks included
        }
        const QByteArray chunk(receiveBuffer_.constData(), n);
        parts_.router.appendAnswer(chunk);
        parts_.router.routeToTerminal(chunk);
    } catch (const std::exception& e) {
        parts_.output.setStatus(3, errorText(e));
    }
    parts_.router.endReception();
}
