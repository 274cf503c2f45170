#pragma once

#include "BrokerReceiver.h"
#include "ConnectionParts.h"
#include "Link.h"
#include "LinkFactory.h"
#include "TcpSession.h"

#include <cstdint>
#include <memory>

// The relay broker (BrokerIPEdt, BrokerPortEdt) over a TCP client of its own: every command
// goes in one frame addressed to the hardware id (HARDWARE_IDEdt), and the answers are cut out
// of the byte stream frame by frame; other controllers' frames are shown, never taken as the
// answer, and a broker that has no such controller says so (LoaderOutput::controllerNotFound).
class BrokerLink : public Link {
public:
    BrokerLink(const ConnectionParts& parts, LinkFactory& layers);

    // An incomplete broker frame that gets no further byte for this long never completes: it
    // is reported as a damaged frame and dropped.
    static constexpr int kIncompleteFrameTimeoutMs = 3000;

    Task<void> open(LinkSettings settings) override;
    // The frames from here on address the settings' hardware id.
    void use(const LinkSettings& settings) override { hardwareId_ = settings.hardwareId; }
    // Wraps the command into one frame and writes it. A command longer than a frame carries
    // (2037 bytes) raises LoaderError and nothing is sent.
    void write(const QByteArray& text) override;
    void close() override;

private:
    // False when what arrived is only other controllers' frames.
    bool receive(const QByteArray& chunk);
    bool deliverPiece(const BrokerReceiver::Piece& piece);
    void deliverForeignFrame(const BrokerFrame::Frame& frame);
    void deliverStalePiece(const BrokerReceiver::Piece& piece);
    std::uint32_t addressedId() const;
    void controllerNotFound();
    void showFrameStatus(const QString& text);
    void reportHeldDamagedFrame(qsizetype size);
    void traceReception();
    void incompleteFrameTimedOut();
    void closed();

    ConnectionParts parts_;
    TcpSession session_;
    std::uint32_t hardwareId_ = 0; // the controller the frames address
    // The damaged frame reported while it was held, so that it is not reported twice.
    QByteArray damagedShown_;
    BrokerReceiver receiver_;
    std::unique_ptr<Timer> incompleteFrameTimer_;
};
