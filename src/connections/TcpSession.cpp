#include "TcpSession.h"

#include "core/LoaderError.h"

TcpSession::TcpSession(const ConnectionParts& parts, LinkFactory& layers, Receiver receive,
                       std::function<void()> closed)
    : parts_(parts), layers_(layers), receive_(std::move(receive)), closed_(std::move(closed)),
      delay_(parts.runtime) {}

TcpSession::~TcpSession() = default;

void TcpSession::drop() {
    client_.reset();
}

void TcpSession::makeClient(const QString& host, quint16 port) {
    // The socket layer takes the port as text (a text that names no port fails its connect).
    client_ = layers_.makeTcp(host, QString::number(port));
    // An IPv6 address is bracketed, so its own colons are not taken for the port's.
    const bool ipv6 = host.contains(QLatin1Char(':'));
    address_ = (ipv6 ? QLatin1Char('[') + host + QLatin1Char(']') : host) + QLatin1Char(':') +
               QString::number(port);
}

void TcpSession::attachHandlers() {
    Runtime& rt = parts_.runtime;
    client_->onDataAvailable = rt.bound([this] { dataAvailable(); });
    client_->onConnected = rt.bound([this] {
        connected();
        delay_.cut();
    });
    client_->onClose = rt.bound([this] {
        disconnected();
        delay_.cut();
    });
    client_->onConnectFailed = rt.bound([this] {
        connectFailed();
        delay_.cut();
    });
    parts_.state.TcpConnected = false;
}

void TcpSession::activate() {
    client_->activate();
}

// Looks again at least every few milliseconds, for a cancel or the end of the operation, and at
// once when the client's connect, close or failure comes.
Task<void> TcpSession::connectWait(bool untilLinkOpen) {
    constexpr int kLookAgainMs = 10;
    Runtime& rt = parts_.runtime;
    const LoaderState& s = parts_.state;
    const std::uint32_t limit = rt.tickCount() + std::uint32_t(parts_.timings.connectMs);
    for (;;) {
        const std::int32_t left = std::int32_t(limit - rt.tickCount());
        if (left <= 0 || !s.LinkAlive || rt.terminating() || !s.OperationActive) {
            co_return;
        }
        if (s.TcpConnected || (untilLinkOpen && s.ConnectionOpen)) {
            co_return;
        }
        co_await delay_.after(std::min<std::int32_t>(left, kLookAgainMs));
    }
}

bool TcpSession::isConnected() const {
    return client_ && client_->isConnected();
}

void TcpSession::write(const QByteArray& bytes) {
    if (isConnected()) {
        client_->write(bytes);
    }
}

void TcpSession::deactivate() {
    if (client_ && client_->isActive()) {
        client_->deactivate();
        parts_.state.TcpConnected = false;
    }
}

void TcpSession::connected() {
    LoaderState& s = parts_.state;
    parts_.output.showLinkOpen(true);
    parts_.output.setStatus(2, client_->localHost() + QLatin1Char(':') + client_->localPort() +
                                   QStringLiteral(" открыт"));
    parts_.timer3->start();
    s.PendingTerminalText.clear();
    s.LastReceiveTick = parts_.runtime.tickCount();
    s.TcpConnected = true;
    s.ConnectionOpen = true;
}

void TcpSession::disconnected() {
    LoaderState& s = parts_.state;
    parts_.timer3->stop();
    s.TcpConnected = false;
    parts_.output.showLinkOpen(false);
    if (client_) {
        parts_.output.setStatus(2, client_->localHost() + QLatin1Char(':') + client_->localPort() +
                                       QStringLiteral(" закрыт"));
    } else {
        parts_.output.setStatus(2, QStringLiteral("соединение закрыто..."));
    }
    s.ConnectionOpen = false;
    // The rest of an answer frame cannot come over a closed connection.
    closed_();
    s.AnswerFrameIncomplete = false;
}

// Never connected: there is no local port to name, so the state says where to and why not.
void TcpSession::connectFailed() {
    const QString reason = client_ ? client_->connectFailure() : QString();
    disconnected();
    parts_.output.setStatus(2, QStringLiteral("Нет соединения с ") + address_ +
                                   (reason.isEmpty() ? QString() : QStringLiteral(": ") + reason));
}

void TcpSession::setReceiveTraceTick() {
    // The speed's entry in the list divides the trace's time; a speed outside it counts as the
    // first entry.
    const int divisor = std::max(1, BaudRates::entryOf(parts_.choices.link.baud) + 1);
    parts_.state.ReceiveTraceTick = parts_.runtime.tickCount() + std::uint32_t(240 / divisor);
}

void TcpSession::dataAvailable() {
    if (!client_) {
        return;
    }
    try {
        const QByteArray chunk = client_->readAll();
        TerminalModel& terminal = parts_.terminal;
        ++terminal.receiveCounter;
        terminal.lastReceiveSize = chunk.size();
        const bool forThisController = chunk.isEmpty() || receive_(chunk);
        if (forThisController) {
            parts_.router.endReception();
        }
    } catch (const std::exception& e) {
        parts_.output.setStatus(3, errorText(e));
    }
}
