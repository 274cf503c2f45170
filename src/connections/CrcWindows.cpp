#include "CrcWindows.h"

#include "core/Crc16.h"

#include <array>
#include <cassert>

namespace {

// For one count of zero bytes: what each nibble of the register becomes after them, by its
// place (4 places) and value (16 values).
using NibbleTables = std::array<std::array<std::uint16_t, 16>, 4>;

std::uint16_t shiftBytes(std::uint16_t state, qsizetype zeroBytes) {
    for (qsizetype n = 0; n < zeroBytes; ++n) {
        state = Crc16::update(state, 0);
    }
    return state;
}

const std::vector<NibbleTables>& shiftTables() {
    // Built once, about 0.5 MB: the register is linear, so the nibble values after k + 1 zero
    // bytes follow from those after k.
    static const std::vector<NibbleTables> tables = [] {
        std::vector<NibbleTables> built(std::size_t(CrcWindows::kMaxWindow) + 1);
        for (std::size_t k = 0; k < built.size(); ++k) {
            for (std::size_t place = 0; place < 4; ++place) {
                for (std::size_t value = 0; value < 16; ++value) {
                    const auto start = std::uint16_t(value << (4 * place));
                    built[k][place][value] =
                        k == 0 ? start : shiftBytes(built[k - 1][place][value], 1);
                }
            }
        }
        return built;
    }();
    return tables;
}

// The register state after zeroBytes zero bytes.
std::uint16_t shift(qsizetype zeroBytes, std::uint16_t state) {
    const NibbleTables& t = shiftTables()[std::size_t(zeroBytes)];
    return std::uint16_t(t[0][state & 0xFU] ^ t[1][(state >> 4) & 0xFU] ^
                         t[2][(state >> 8) & 0xFU] ^ t[3][(state >> 12) & 0xFU]);
}

} // namespace

void CrcWindows::append(const QByteArray& bytes) {
    prefix_.reserve(prefix_.size() + std::size_t(bytes.size()));
    std::uint16_t state = prefix_.back();
    for (const char byte : bytes) {
        state = Crc16::compute(&byte, 1, state);
        prefix_.push_back(state);
    }
}

void CrcWindows::dropFront(qsizetype count) {
    prefix_.erase(prefix_.begin(), prefix_.begin() + count);
}

bool CrcWindows::zero(qsizetype from, qsizetype to) const {
    assert(from >= 0 && from <= to && to - from <= kMaxWindow && std::size_t(to) < prefix_.size());
    const std::uint16_t started = prefix_[std::size_t(from)] ^ Crc16::kInitial;
    return prefix_[std::size_t(to)] == shift(to - from, started);
}
