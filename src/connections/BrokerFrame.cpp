#include "BrokerFrame.h"

#include "core/Crc16.h"

#include <algorithm>

namespace {

void putLe(char* at, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        at[i] = char((value >> (8 * i)) & 0xFFU);
    }
}

std::uint32_t getLe(const char* at, int bytes) {
    std::uint32_t value = 0;
    for (int i = bytes - 1; i >= 0; --i) {
        value = (value << 8) | static_cast<std::uint8_t>(at[i]);
    }
    return value;
}

} // namespace

void BrokerFrame::AppendCrc16(char* data, int size) {
    const std::uint16_t crc = Crc16::compute(data, size);
    putLe(data + size, crc, 2);
}

bool BrokerFrame::CheckCrc16(const char* data, int size) {
    return Crc16::compute(data, size) == 0;
}

QByteArray BrokerFrame::encode(const Frame& frame) {
    const auto length = std::uint16_t(frame.payload.size());
    QByteArray bytes(kOverhead + length, '\0');
    char* p = bytes.data();
    p[0] = char(kLeadByte);
    p[1] = char(frame.code);
    putLe(p + 2, frame.hardwareId, 4);
    putLe(p + 6, length, 2);
    p[8] = 0x03;
    p[9] = 0x00;
    std::copy_n(frame.payload.constData(), length, p + kHeaderSize);
    AppendCrc16(p, kHeaderSize + length);
    return bytes;
}

std::uint16_t BrokerFrame::lengthField(const char* data) {
    return std::uint16_t(getLe(data + 6, 2));
}

std::optional<BrokerFrame::Frame> BrokerFrame::decode(const char* data, int size) {
    if (size < kOverhead || lengthField(data) + kOverhead != size || !CheckCrc16(data, size)) {
        return std::nullopt;
    }
    Frame frame;
    frame.code = static_cast<std::uint8_t>(data[1]);
    frame.hardwareId = getLe(data + 2, 4);
    frame.payload = QByteArray(data + kHeaderSize, lengthField(data));
    return frame;
}
