#pragma once

#include "core/Links.h"

#include <QByteArray>
#include <QList>
#include <cstdint>
#include <functional>
#include <map>

class Loader;
class VirtualRuntime;

// A device at the far end of every connection kind, for unit tests in virtual time. It records
// what the loader writes and delivers scripted answers through the loader's receive routing at
// chosen virtual times, so a test reads as a transcript.
class ScriptedDevice : public Links {
public:
    ScriptedDevice(Loader& loader, VirtualRuntime& runtime);
    ~ScriptedDevice() override;

    // Connection behaviour.
    bool openSucceeds = true;
    int openCalls = 0;
    LinkSettings opened; // what the last open was given

    // Everything the loader wrote, one entry per write, with the connection kind used.
    QList<QByteArray> written;
    QList<LinkKind> writtenKinds;

    // Answers: an exact command gets its answer after delayMs; onWrite sees every write first
    // and may post its own answers.
    void answer(const QByteArray& command, const QByteArray& reply, std::uint64_t delayMs = 5);
    std::function<void(const QByteArray& text)> onWrite;

    // Delivers a reception after delayMs, as one receive event.
    void deliver(const QByteArray& chunk, std::uint64_t delayMs = 0);
    // Delivers the pieces one after another, gapMs apart, the first after firstDelayMs.
    void deliverPieces(const QList<QByteArray>& pieces, std::uint64_t firstDelayMs,
                       std::uint64_t gapMs);
    // The peer closes the connection after delayMs (the close handlers run).
    void dropConnection(std::uint64_t delayMs = 0);

    // Links
    // Every kind reaches the same device, and every close closes it.
    Task<void> open(LinkSettings settings) override;
    void write(LinkKind kind, const QByteArray& text) override;
    void close(LinkKind kind) override;
    void closeAll() override { closeIfOpen(); }
    void releaseDevices() override { closeIfOpen(); }

    bool isOpen() const { return open_; }

private:
    void closed();
    void closeIfOpen();

    Loader& loader_;
    VirtualRuntime& runtime_;
    bool open_ = false;
    std::map<QByteArray, std::pair<QByteArray, std::uint64_t>> answers_;
};
