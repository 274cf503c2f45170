#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <cstdint>

// The six bytes at the start of the firmware area (page 70, addresses 0 to 5): the text length
// in characters, four bytes lowest first, then the text checksum, low byte first. On the wire
// each byte is two upper-case hexadecimal digits.
struct StorageDescriptor {
    std::uint32_t length = 0;
    std::uint16_t crc = 0;

    static constexpr qsizetype kDigits = 12;
    // Where the firmware area lies: the descriptor at page 70, address 0, the text from address
    // 10 on, across the controller's pages (whose size is the controller's own).
    static constexpr int kPage = 70;
    static constexpr int kTextAddress = 10;

    // The 12 digits written after "PAGEWRITE " in hex mode.
    QByteArray encode() const;
    // Reads the first 12 characters of a read answer. The text must hold at least 12
    // characters; a pair that is not hexadecimal raises LoaderError (the conversion error).
    static StorageDescriptor decode(QByteArrayView text);
};
