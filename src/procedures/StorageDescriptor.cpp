#include "StorageDescriptor.h"

#include "WholeNumber.h"
#include "core/HexDigit.h"
#include "core/LoaderError.h"

namespace {

std::uint32_t hexByte(QByteArrayView text, qsizetype at) {
    const int high = strictHexDigit(text.at(at));
    const int low = strictHexDigit(text.at(at + 1));
    if (high < 0 || low < 0) {
        throw LoaderError(WholeNumber::conversionError(QLatin1Char('$') +
                                                       QString::fromLatin1(text.sliced(at, 2))));
    }
    return std::uint32_t(high * 16 + low);
}

} // namespace

QByteArray StorageDescriptor::encode() const {
    const unsigned char bytes[6] = {std::uint8_t(length),       std::uint8_t(length >> 8),
                                    std::uint8_t(length >> 16), std::uint8_t(length >> 24),
                                    std::uint8_t(crc),          std::uint8_t(crc >> 8)};
    return QByteArray(reinterpret_cast<const char*>(bytes), 6).toHex().toUpper();
}

StorageDescriptor StorageDescriptor::decode(QByteArrayView text) {
    if (text.size() < kDigits) {
        throw LoaderError(WholeNumber::conversionError(QString::fromLatin1(text)));
    }
    StorageDescriptor d;
    for (int i = 0; i < 4; ++i) {
        d.length |= hexByte(text, 2 * i) << (8 * i);
    }
    d.crc = std::uint16_t(hexByte(text, 8) | (hexByte(text, 10) << 8));
    return d;
}
