// The broker's byte stream: reassembly of frames over chunks of any size, resynchronisation
// after garbage, and stale frames begun before a new command went out. The first byte of each
// step gives the chunk length (and, with its top bit, a command sent before the chunk).
#include "FuzzSupport.h"
#include "connections/BrokerReceiver.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    BrokerReceiver receiver;
    QByteArray fed;
    QByteArray handedOut;
    std::size_t at = 0;
    while (at < size) {
        const std::uint8_t control = data[at++];
        if (control & 0x80) {
            receiver.markStale();
        }
        const std::size_t length = std::min<std::size_t>((control & 0x7F) * 37u, size - at);
        const QByteArray chunk = fuzzBytes(data + at, length);
        at += length;
        fed += chunk;
        for (const BrokerReceiver::Piece& piece : receiver.feed(chunk)) {
            FUZZ_CHECK(!piece.raw.isEmpty());
            if (piece.frame) {
                const auto again = BrokerFrame::decode(piece.raw);
                FUZZ_CHECK(again && again->payload == piece.frame->payload);
            }
            handedOut += piece.raw;
        }
        FUZZ_CHECK(receiver.pendingSize() < BrokerFrame::kReceiveBufferSize);
    }
    if (const auto rest = receiver.flush()) {
        handedOut += rest->raw;
    }
    // Every byte comes out once, in order.
    FUZZ_CHECK(handedOut == fed);
    return 0;
}
