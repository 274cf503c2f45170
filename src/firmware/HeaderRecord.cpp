#include "HeaderRecord.h"

namespace {

void appendHex(QByteArray& out, unsigned byte) {
    static const char digits[] = "0123456789ABCDEF";
    out.append(digits[(byte >> 4) & 0xF]).append(digits[byte & 0xF]);
}

} // namespace

QByteArray HeaderRecord::build(QByteArrayView text) {
    const unsigned count = unsigned(text.size() + 1) & 0xFF;
    unsigned sum = count;
    QByteArray record("S0");
    record.reserve(6 + 2 * text.size());
    appendHex(record, count);
    for (char c : text) {
        appendHex(record, std::uint8_t(c));
        sum += std::uint8_t(c);
    }
    appendHex(record, 0xFF - (sum & 0xFF));
    return record;
}

QList<QByteArray> HeaderRecord::buildAll(QByteArrayView text) {
    QList<QByteArray> records;
    for (qsizetype at = 0; at < text.size(); at += kMaxText) {
        records.append(build(text.sliced(at, qMin(kMaxText, text.size() - at))));
    }
    return records;
}

bool HeaderRecord::isHeaderLine(QByteArrayView line) {
    return line.size() >= 2 && line[0] == 'S' && line[1] == '0';
}
