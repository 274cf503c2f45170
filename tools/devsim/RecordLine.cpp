#include "RecordLine.h"

#include "core/HexDigit.h"

namespace devsim {
namespace {

// The bytes written as hex digit pairs after the "Sn" prefix; nullopt if any digit is bad.
std::optional<QByteArray> hexBytes(QByteArrayView digits) {
    if (digits.size() % 2 != 0) {
        return std::nullopt;
    }
    QByteArray bytes(digits.size() / 2, Qt::Uninitialized);
    char* out = bytes.data();
    for (qsizetype i = 0; i < digits.size(); i += 2) {
        const int high = strictHexDigit(digits[i]);
        const int low = strictHexDigit(digits[i + 1]);
        if (high < 0 || low < 0) {
            return std::nullopt;
        }
        *out++ = char(high * 16 + low);
    }
    return bytes;
}

} // namespace

int addressBytes(int type) {
    switch (type) {
    case 0:
    case 1:
    case 5:
    case 9:
        return 2;
    case 2:
    case 6:
    case 8:
        return 3;
    case 3:
    case 7:
        return 4;
    default:
        return 0;
    }
}

RecordResult parseRecordLine(const QByteArray& line) {
    if (line.size() < 4 || line[0] != 'S' || line[1] < '0' || line[1] > '9') {
        return {std::nullopt, RecordError::Form};
    }
    const int type = line[1] - '0';
    const int width = addressBytes(type);
    if (width == 0) {
        return {std::nullopt, RecordError::Type};
    }
    const std::optional<QByteArray> bytes = hexBytes(QByteArrayView(line).sliced(2));
    if (!bytes) {
        return {std::nullopt, RecordError::Form};
    }
    const auto count = std::uint8_t(bytes->at(0));
    if (count != bytes->size() - 1 || count < width + 1) {
        return {std::nullopt, RecordError::Length};
    }
    RecordLine record;
    record.type = type;
    for (int i = 0; i < width; ++i) {
        record.address = (record.address << 8) | std::uint8_t(bytes->at(1 + i));
    }
    unsigned sum = 0;
    for (qsizetype i = 0; i < bytes->size() - 1; ++i) {
        sum += std::uint8_t(bytes->at(i));
    }
    if (std::uint8_t(~sum & 0xFFU) != std::uint8_t(bytes->back())) {
        return {std::nullopt, RecordError::Checksum, record.address};
    }
    record.data = bytes->mid(1 + width, count - width - 1);
    return {record, RecordError::None};
}

} // namespace devsim
