#pragma once

#include <QByteArray>
#include <cstdint>

// CRC-16/MODBUS: reflected polynomial 0xA001, initial value 0xFFFF, no final exclusive-or.
// The storage checksum of the stored firmware text and the broker frames share it.
namespace Crc16 {
constexpr std::uint16_t kInitial = 0xFFFF;

// The new checksum after one more byte.
constexpr std::uint16_t update(std::uint16_t crc, std::uint8_t byte) {
    crc ^= byte;
    for (int bit = 0; bit < 8; ++bit) {
        crc = (crc & 1U) ? std::uint16_t((crc >> 1) ^ 0xA001U) : std::uint16_t(crc >> 1);
    }
    return crc;
}

std::uint16_t compute(const char* data, qsizetype size, std::uint16_t crc = kInitial);
inline std::uint16_t compute(const QByteArray& bytes, std::uint16_t crc = kInitial) {
    return compute(bytes.constData(), bytes.size(), crc);
}
} // namespace Crc16
