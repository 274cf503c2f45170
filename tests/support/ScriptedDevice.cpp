#include "ScriptedDevice.h"

#include "VirtualRuntime.h"
#include "core/Loader.h"

ScriptedDevice::ScriptedDevice(Loader& loader, VirtualRuntime& runtime)
    : loader_(loader), runtime_(runtime) {
    loader_.links = this;
}

ScriptedDevice::~ScriptedDevice() {
    if (loader_.links == this) {
        loader_.links = nullptr;
    }
}

void ScriptedDevice::answer(const QByteArray& command, const QByteArray& reply,
                            std::uint64_t delayMs) {
    answers_[command] = {reply, delayMs};
}

void ScriptedDevice::deliver(const QByteArray& chunk, std::uint64_t delayMs) {
    runtime_.post(delayMs, [this, chunk] {
        if (open_) {
            loader_.router.receive(chunk);
        }
    });
}

void ScriptedDevice::deliverPieces(const QList<QByteArray>& pieces, std::uint64_t firstDelayMs,
                                   std::uint64_t gapMs) {
    std::uint64_t delay = firstDelayMs;
    for (const QByteArray& piece : pieces) {
        deliver(piece, delay);
        delay += gapMs;
    }
}

void ScriptedDevice::dropConnection(std::uint64_t delayMs) {
    runtime_.post(delayMs, [this] {
        if (open_) {
            closed();
        }
    });
}

Task<void> ScriptedDevice::open(LinkSettings settings) {
    opened = settings;
    ++openCalls;
    if (!openSucceeds || open_) {
        co_return;
    }
    // What the after-open and connected handlers do for the loader.
    open_ = true;
    loader_.Timer3->start();
    loader_.state.PendingTerminalText.clear();
    loader_.state.LastReceiveTick = loader_.runtime.tickCount();
    loader_.state.ConnectionOpen = true;
    loader_.output.showLinkOpen(true);
}

void ScriptedDevice::closed() {
    open_ = false;
    loader_.output.showLinkOpen(false);
    loader_.Timer3->stop();
    loader_.state.TcpConnected = false;
    loader_.state.ConnectionOpen = false;
}

void ScriptedDevice::closeIfOpen() {
    if (open_) {
        closed();
    }
}

void ScriptedDevice::close(LinkKind kind) {
    (void)kind;
    closeIfOpen();
}

void ScriptedDevice::write(LinkKind kind, const QByteArray& text) {
    if (!open_) {
        return;
    }
    written.append(text);
    writtenKinds.append(kind);
    if (onWrite) {
        onWrite(text);
    }
    const auto it = answers_.find(text);
    if (it != answers_.end()) {
        deliver(it->second.first, it->second.second);
    }
}
