#include "TcpLink.h"

#include "core/Cp1251.h"
#include "core/LoaderError.h"

namespace {

constexpr int kSettlePauseMs = 10;

} // namespace

TcpLink::TcpLink(const ConnectionParts& parts, LinkFactory& layers)
    : parts_(parts),
      session_(
          parts, layers, [this](const QByteArray& chunk) { return receive(chunk); }, [] {}) {}

Task<void> TcpLink::open(LinkSettings settings) {
    session_.drop();
    co_await session_.pause(kSettlePauseMs);
    session_.makeClient(settings.host, settings.port);
    co_await session_.pause(kSettlePauseMs);
    session_.activate();
    session_.attachHandlers();
    co_await session_.connectWait(false);
}

void TcpLink::write(const QByteArray& text) {
    session_.write(text);
}

void TcpLink::close() {
    session_.deactivate();
}

bool TcpLink::receive(const QByteArray& chunk) {
    try {
        LoaderState& s = parts_.state;
        parts_.router.appendAnswer(chunk);
        session_.setReceiveTraceTick();
        parts_.router.routeToTerminal(chunk);
        if (s.DebugMode) {
            parts_.runtime.debugLine(QStringLiteral("TCPRxChar ") + Cp1251::decode(s.AnswerBuffer) +
                                     QLatin1Char(' ') + QString::number(s.ReceiveTraceTick));
        }
    } catch (const std::exception& e) {
        parts_.output.setStatus(3, errorText(e));
    }
    return true;
}
