#include "FakeLinkLayers.h"

#include "VirtualRuntime.h"
#include "core/LoaderError.h"

#include <algorithm>
#include <cstring>

void FakeSerialLayer::open() {
    ++openCalls;
    if (open_) {
        return;
    }
    if (openErrno != 0) {
        throw SerialError(QStringLiteral("Unable to open com port (Error: %1)").arg(openErrno),
                          openErrno);
    }
    if (openLeavesClosed) {
        return;
    }
    open_ = true;
    if (onAfterOpen) {
        onAfterOpen();
    }
}

void FakeSerialLayer::write(const QByteArray& bytes) {
    if (!open_) {
        throw SerialError(QStringLiteral("Port Not Open"), 0);
    }
    written.append(bytes);
    for (const auto& a : answers_) {
        if (a.first == bytes) {
            receive(a.second.first, a.second.second);
        }
    }
}

int FakeSerialLayer::read(char* buffer, int count) {
    if (!open_) {
        throw SerialError(QStringLiteral("Port Not Open"), 0);
    }
    if (readErrno != 0) {
        throw SerialError(QStringLiteral("ReadFile function failed (Error: %1)").arg(readErrno),
                          readErrno);
    }
    const int n = std::min(count, int(queued_.size()));
    std::memcpy(buffer, queued_.constData(), std::size_t(n));
    queued_.remove(0, n);
    return n;
}

void FakeSerialLayer::close() {
    if (!open_) {
        return;
    }
    open_ = false;
    queued_.clear();
    if (onAfterClose) {
        onAfterClose();
    }
}

void FakeSerialLayer::receive(const QByteArray& bytes, std::uint64_t delayMs) {
    runtime_.post(delayMs, [this, bytes] {
        if (!open_) {
            return;
        }
        queued_.append(bytes);
        if (onRxChar && !queued_.isEmpty()) {
            onRxChar(int(queued_.size()));
        }
    });
}

void FakeSerialLayer::answer(const QByteArray& command, const QByteArray& reply,
                             std::uint64_t delayMs) {
    answers_.append({command, {reply, delayMs}});
}

FakeTcpLayer::~FakeTcpLayer() {
    *alive_ = false;
}

void FakeTcpLayer::post(std::uint64_t delayMs, std::function<void()> fn) {
    runtime_.post(delayMs, [alive = alive_, fn = std::move(fn)] {
        if (*alive) {
            fn();
        }
    });
}

void FakeTcpLayer::activate() {
    if (host.isEmpty()) {
        throw LoaderError(QStringLiteral("Host not set"));
    }
    if (port.isEmpty()) {
        throw LoaderError(QStringLiteral("Port not set"));
    }
    active_ = true;
    if (outcome_ == Outcome::Silent) {
        return;
    }
    post(delayMs_, [this] {
        if (!active_) {
            return;
        }
        if (outcome_ == Outcome::Refuse) {
            active_ = false;
            if (onConnectFailed) {
                onConnectFailed();
            }
            return;
        }
        connected_ = true;
        wasConnected_ = true;
        if (onConnected) {
            onConnected();
        }
    });
}

QByteArray FakeTcpLayer::readAll() {
    // As a socket's readAll: the bytes come in a block of at least the socket's read chunk.
    QByteArray bytes;
    bytes.reserve(std::max<qsizetype>(kReadChunk, buffer_.size()));
    bytes.append(buffer_);
    buffer_.clear();
    return bytes;
}

void FakeTcpLayer::write(const QByteArray& bytes) {
    if (!connected_) {
        return;
    }
    written.append(bytes);
    if (onWrite) {
        onWrite(bytes);
    }
}

void FakeTcpLayer::deactivate() {
    if (!active_) {
        return;
    }
    active_ = false;
    connected_ = false;
    if (onClose) {
        onClose();
    }
}

void FakeTcpLayer::receive(const QByteArray& bytes, std::uint64_t delayMs) {
    post(delayMs, [this, bytes] {
        if (!connected_) {
            return;
        }
        buffer_.append(bytes);
        if (onDataAvailable) {
            onDataAvailable();
        }
    });
}

void FakeTcpLayer::peerClose(std::uint64_t delayMs) {
    post(delayMs, [this] {
        if (!active_) {
            return;
        }
        active_ = false;
        connected_ = false;
        if (onClose) {
            onClose();
        }
    });
}

LinkFactory FakeLinks::factory() {
    LinkFactory f;
    f.makeSerial = [this] {
        auto layer = std::make_unique<FakeSerialLayer>(runtime_);
        serial = layer.get();
        return layer;
    };
    f.makeTcp = [this](const QString& host, const QString& port) {
        auto layer = std::make_unique<FakeTcpLayer>(runtime_, host, port, tcpOutcome, tcpDelayMs);
        tcp = layer.get();
        ++tcpClientsMade;
        if (onTcpMade) {
            onTcpMade(*layer);
        }
        return layer;
    };
    f.systemPorts = [this] { return systemPorts; };
    return f;
}
