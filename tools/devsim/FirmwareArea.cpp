#include "FirmwareArea.h"

#include "core/Crc16.h"

namespace devsim {
namespace {

std::uint32_t littleEndian(const QByteArray& bytes) {
    std::uint32_t value = 0;
    for (qsizetype i = bytes.size() - 1; i >= 0; --i) {
        value = (value << 8) | std::uint8_t(bytes[i]);
    }
    return value;
}

} // namespace

QList<QByteArray> splitStoredRecords(const QByteArray& text) {
    QList<QByteArray> lines;
    for (const char c : text) {
        if (c == 'S' || lines.isEmpty()) {
            lines.append(QByteArray());
        }
        lines.back().append(c);
    }
    return lines;
}

FirmwareCheck checkFirmwareArea(const StorageMemory& storage, int page, int textAddress) {
    FirmwareCheck check;
    const qsizetype base = qsizetype(page) * storage.pageSize();
    const QByteArray descriptor = storage.read(base, 6);
    const std::uint32_t length = littleEndian(descriptor.left(4));
    const auto storedCrc = std::uint16_t(littleEndian(descriptor.mid(4, 2)));
    const qsizetype textStart = base + textAddress;
    if (descriptor.size() != 6 || length == 0 || qsizetype(length) > storage.size() - textStart) {
        check.detail = "LENGTH " + QByteArray::number(length);
        return check;
    }
    check.text = storage.read(textStart, length);
    if (Crc16::compute(check.text) != storedCrc) {
        check.verdict = FirmwareCheck::Verdict::BadCrc;
        check.detail = "CRC";
        return check;
    }
    for (const QByteArray& line : splitStoredRecords(check.text)) {
        const RecordResult result = parseRecordLine(line);
        if (!result.record) {
            check.verdict = FirmwareCheck::Verdict::BadRecord;
            check.detail = "RECORD " + QByteArray::number(check.records.size() + 1);
            check.records.clear();
            return check;
        }
        check.records.append(*result.record);
    }
    check.verdict = FirmwareCheck::Verdict::Good;
    return check;
}

} // namespace devsim
