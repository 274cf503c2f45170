#pragma once

#include <array>
#include <cstdint>

// Value of a hex character as the record reader takes it: a character up to "9" counts its
// code minus that of "0", any other its code minus that of "A" plus 10. Only 0-9 and A-F give
// their usual values; anything else (lower-case letters too) gives some other value without
// being refused, and the record's checksum then decides.
constexpr int hexCharValue(unsigned char c) {
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
