#pragma once

#include <QByteArray>
#include <cstdint>
#include <optional>

// The broker's frame, the same in both directions (little-endian, no padding):
//   0 lead byte 0x01 | 1 code | 2..5 hardware id | 6..7 payload length L | 8 0x03 | 9 0x00 |
//   10.. payload (L bytes) | CRC-16/MODBUS of bytes 0..9+L, low byte first.
// Bit 7 of the code in a received frame means the broker has no controller with that id.
namespace BrokerFrame {

constexpr int kHeaderSize = 10;
constexpr int kOverhead = 12; // header and CRC
constexpr int kTransmitBufferSize = 2049;
constexpr int kMaxSentPayload = kTransmitBufferSize - kOverhead; // 2037
constexpr int kReceiveBufferSize = 4098;
constexpr std::uint8_t kLeadByte = 0x01;
constexpr std::uint8_t kCommandCode = 0x41;
constexpr std::uint8_t kNotFoundBit = 0x80;

struct Frame {
    std::uint8_t code = kCommandCode;
    std::uint32_t hardwareId = 0;
    QByteArray payload;

    bool notFound() const { return (code & kNotFoundBit) != 0; }
};

// Computes CRC-16/MODBUS over size bytes at data and stores it in the two bytes right after
// them, low byte first (an empty range stores 0xFFFF).
void AppendCrc16(char* data, int size);
// True when the CRC over the whole range, its stored CRC included, is 0.
bool CheckCrc16(const char* data, int size);

// The bytes of one frame. The payload length field keeps 16 bits.
QByteArray encode(const Frame& frame);

// The payload length field of a frame that starts at data (needs at least 8 bytes).
std::uint16_t lengthField(const char* data);

// Reads one whole frame of exactly size bytes: nullopt when the size does not match the length
// field or the CRC fails.
std::optional<Frame> decode(const char* data, int size);
inline std::optional<Frame> decode(const QByteArray& bytes) {
    return decode(bytes.constData(), int(bytes.size()));
}

} // namespace BrokerFrame
