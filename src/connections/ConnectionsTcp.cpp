// The TCP and broker half of the connections: the open steps, the client's four events, the
// receive handler with its TCP and broker branches, and the broker's frames.
#include "Connections.h"

#include "core/Cp1251.h"
#include "core/LoaderError.h"

namespace {

constexpr int kSettlePauseMs = 10;

} // namespace

void Connections::replaceTcpClient(const QString& host, const QString& port) {
    tcpClient_ = factory_.makeTcp(host, port);
    // An IPv6 address is bracketed, so its own colons are not taken for the port's.
    const bool ipv6 = host.contains(QLatin1Char(':'));
    tcpAddress_ =
        (ipv6 ? QLatin1Char('[') + host + QLatin1Char(']') : host) + QLatin1Char(':') + port;
}

void Connections::attachTcpHandlers() {
    tcpClient_->onDataAvailable = [this] { TCPClientDataAvailable(); };
    tcpClient_->onConnected = [this] { xportTCPClientConnected(); };
    tcpClient_->onClose = [this] { xportTCPClientDisConnected(); };
    tcpClient_->onConnectFailed = [this] { xportTCPClientConnectFailed(); };
}

void Connections::openTcp() {
    Runtime& rt = parts_.runtime;
    const FormModel& f = parts_.form;
    tcpClient_.reset();
    rt.sleep(kSettlePauseMs);
    rt.processEvents();
    replaceTcpClient(f.IPEdit.text, f.PortNum.text);
    rt.sleep(kSettlePauseMs);
    rt.processEvents();
    tcpClient_->activate();
    attachTcpHandlers();
    parts_.state.TcpConnected = false;
    waitForConnect(false);
}

void Connections::openBroker() {
    Runtime& rt = parts_.runtime;
    const FormModel& f = parts_.form;
    tcpClient_.reset();
    replaceTcpClient(f.BrokerIPEdt.text, f.BrokerPortEdt.text);
    rt.sleep(kSettlePauseMs);
    rt.processEvents();
    attachTcpHandlers();
    parts_.state.TcpConnected = false;
    tcpClient_->activate();
    waitForConnect(true);
}

void Connections::waitForConnect(bool brokerWait) {
    Runtime& rt = parts_.runtime;
    const LoaderState& s = parts_.state;
    const std::uint32_t limit = rt.tickCount() + std::uint32_t(parts_.timings.connectMs);
    while (std::int32_t(rt.tickCount() - limit) < 0) {
        if (!parts_.timer3->enabled() || rt.terminating() || !s.OperationActive) {
            break;
        }
        rt.processEvents();
        if (s.TcpConnected || (brokerWait && s.ConnectionOpen)) {
            break;
        }
        // The pause keeps the wait from spinning a processor core for ten seconds.
        rt.sleep(1);
    }
}

void Connections::deactivateTcpClient() {
    if (tcpClient_ && tcpClient_->isActive()) {
        tcpClient_->deactivate();
        parts_.state.TcpConnected = false;
    }
}

void Connections::xportTCPClientConnected() {
    FormModel& f = parts_.form;
    LoaderState& s = parts_.state;
    f.showLinkOpen();
    parts_.output.setStatus(2, tcpClient_->localHost() + QLatin1Char(':') +
                                   tcpClient_->localPort() + QStringLiteral(" открыт"));
    parts_.timer3->start();
    s.PendingTerminalText.clear();
    s.LastReceiveTick = parts_.runtime.tickCount();
    s.TcpConnected = true;
    s.ConnectionOpen = true;
}

void Connections::xportTCPClientDisConnected() {
    FormModel& f = parts_.form;
    LoaderState& s = parts_.state;
    parts_.timer3->stop();
    s.TcpConnected = false;
    f.showLinkClosed();
    if (tcpClient_) {
        parts_.output.setStatus(2, tcpClient_->localHost() + QLatin1Char(':') +
                                       tcpClient_->localPort() + QStringLiteral(" закрыт"));
    } else {
        parts_.output.setStatus(2, QStringLiteral("соединение закрыто..."));
    }
    s.ConnectionOpen = false;
    // The rest of a frame cannot come over a closed connection.
    brokerReceiver_.clear();
    incompleteFrameTimer_->stop();
    s.AnswerFrameIncomplete = false;
}

// Never connected: there is no local port to name, so the state says where to and why not.
void Connections::xportTCPClientConnectFailed() {
    const QString reason = tcpClient_ ? tcpClient_->connectFailure() : QString();
    xportTCPClientDisConnected();
    parts_.output.setStatus(2, QStringLiteral("Нет соединения с ") + tcpAddress_ +
                                   (reason.isEmpty() ? QString() : QStringLiteral(": ") + reason));
}

void Connections::setReceiveTraceTick() {
    // No selected speed (index -1) would divide by zero; such a receive counts as entry 0.
    const int divisor = std::max(1, parts_.form.cmbBaudRate.itemIndex + 1);
    parts_.state.ReceiveTraceTick = parts_.runtime.tickCount() + std::uint32_t(240 / divisor);
}

void Connections::TCPClientDataAvailable() {
    if (!tcpClient_) {
        return;
    }
    try {
        const QByteArray chunk = tcpClient_->readAll();
        TerminalModel& terminal = parts_.form.terminal;
        ++terminal.receiveCounter;
        terminal.caption = QStringLiteral("Терминальное окно RxCount=%1 len=%2")
                               .arg(terminal.receiveCounter)
                               .arg(chunk.size());
        bool forThisController = true;
        if (!chunk.isEmpty()) {
            if (parts_.form.TypeOfConnectGrpPage == LinkKind::Tcp) {
                receiveTcp(chunk);
            } else {
                forThisController = receiveBroker(chunk);
            }
        }
        // Other controllers' chatter must not keep restarting the quiet ticks of an answer.
        if (forThisController) {
            parts_.router.endReception();
        }
    } catch (const std::exception& e) {
        parts_.output.setStatus(3, errorText(e));
    }
}

void Connections::receiveTcp(const QByteArray& chunk) {
    try {
        LoaderState& s = parts_.state;
        parts_.router.appendAnswer(chunk);
        setReceiveTraceTick();
        parts_.router.routeToTerminal(chunk);
        if (s.DebugMode) {
            parts_.runtime.debugLine(QStringLiteral("TCPRxChar ") + Cp1251::decode(s.AnswerBuffer) +
                                     QLatin1Char(' ') + QString::number(s.ReceiveTraceTick));
        }
    } catch (const std::exception& e) {
        parts_.output.setStatus(3, errorText(e));
    }
}
