#pragma once

#include "core/Crc16.h"

#include <cstdint>

// The checksum of the firmware text kept in the storage memory: CRC-16/MODBUS over the text's
// characters in file order, line ends left out, together with the number of characters.
struct TextCrc {
    std::uint16_t value = Crc16::kInitial;
    std::uint32_t byteCount = 0;

    // One step of the checksum.
    static constexpr std::uint16_t step(std::uint16_t crc, std::uint8_t byte) {
        return Crc16::update(crc, byte);
    }
    void add(std::uint8_t byte) {
        value = step(value, byte);
        ++byteCount;
    }
};
