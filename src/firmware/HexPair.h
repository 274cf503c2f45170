#pragma once

#include <array>
#include <cstdint>

// Value of a hex character as the record reader takes it: the digits 0-9, A-F and a-f give
// their values. Any other character is not refused here: one up to "9" counts its code minus
// that of "0", one above it its code minus that of "A" plus 10, and the record's checksum then
// decides.
constexpr int hexCharValue(unsigned char c) {
    if (c >= 'a' && c <= 'f') {
        return int(c) - 'a' + 10;
    }
    return c <= '9' ? int(c) - '0' : int(c) - 'A' + 10;
}

namespace detail {
constexpr std::array<std::uint8_t, 256> makeHexTable() {
    std::array<std::uint8_t, 256> table{};
    for (int c = 0; c < 256; ++c) {
        table[std::size_t(c)] = std::uint8_t(hexCharValue(std::uint8_t(c)) & 0xFF);
    }
    return table;
}
inline constexpr std::array<std::uint8_t, 256> kHexValue = makeHexTable();
} // namespace detail

// A pair of characters: 16 x first + second, modulo 256.
constexpr std::uint8_t HexPairValue(char first, char second) {
    return std::uint8_t(16 * detail::kHexValue[std::uint8_t(first)] +
                        detail::kHexValue[std::uint8_t(second)]);
}
