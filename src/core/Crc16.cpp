#include "Crc16.h"

#include <array>

namespace {

constexpr std::array<std::uint16_t, 256> makeTable() {
    std::array<std::uint16_t, 256> table{};
    for (unsigned i = 0; i < 256; ++i) {
        std::uint16_t crc = 0;
        crc = Crc16::update(crc, std::uint8_t(i));
        table[i] = crc;
    }
    return table;
}

constexpr auto kTable = makeTable();

} // namespace

std::uint16_t Crc16::compute(const char* data, qsizetype size, std::uint16_t crc) {
    for (qsizetype i = 0; i < size; ++i) {
        const auto byte = static_cast<std::uint8_t>(data[i]);
        crc = std::uint16_t((crc >> 8) ^ kTable[(crc ^ byte) & 0xFFU]);
    }
    return crc;
}
