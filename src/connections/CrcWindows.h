#pragma once

#include <QByteArray>
#include <cstdint>
#include <vector>

// Tells in constant time whether the CRC-16/MODBUS over any window of a byte buffer comes out
// 0, as it does over a whole frame with its stored checksum. The broker's stream has no
// marker where a frame starts, so every position may have to be tried; a checksum over each
// candidate frame would cost its length at every position.
//
// The checksum register is linear: the state after bytes [from, to) started from 0xFFFF is
// prefix(to) ^ shift(to - from, prefix(from) ^ 0xFFFF), where prefix(i) is the register after
// bytes [0, i) started from 0 and shift(k, s) is s after k zero bytes. Any origin before `from`
// serves, so bytes may be dropped from the front without recomputing.
class CrcWindows {
public:
    // The longest window asked about.
    static constexpr qsizetype kMaxWindow = 4098;

    void append(const QByteArray& bytes);
    void dropFront(qsizetype count);
    void clear() { prefix_.assign(1, 0); }
    // True when the checksum over bytes [from, to) is 0 (to - from at most kMaxWindow).
    bool zero(qsizetype from, qsizetype to) const;

private:
    // prefix_[i]: the register after the first i bytes held, started from 0.
    std::vector<std::uint16_t> prefix_ = std::vector<std::uint16_t>(1, 0);
};
