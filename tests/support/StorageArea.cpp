#include "StorageArea.h"

namespace StorageArea {
namespace {

// Where the area starts in the storage file.
qsizetype areaStart(int pageSize) {
    return qsizetype(kFirmwarePage) * pageSize;
}

quint16 crcModbus(const QByteArray& bytes) {
    quint16 crc = 0xFFFF;
    for (const char c : bytes) {
        crc ^= quint8(c);
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 1) != 0 ? quint16((crc >> 1) ^ 0xA001) : quint16(crc >> 1);
        }
    }
    return crc;
}

// Bytes as text, those that are not printable ASCII as \xHH.
QString printable(const QByteArray& bytes) {
    QString text;
    for (const char c : bytes) {
        const auto b = quint8(c);
        text += b >= 0x20 && b < 0x7F ? QString(QLatin1Char(c))
                                      : QStringLiteral("\\x%1").arg(b, 2, 16, QLatin1Char('0'));
    }
    return text;
}

// Where two texts part, with a few bytes of each from there.
QString firstDifference(const QByteArray& found, const QByteArray& expected) {
    qsizetype at = 0;
    while (at < found.size() && at < expected.size() && found[at] == expected[at]) {
        ++at;
    }
    return QStringLiteral("text differs at %1: \"%2\" instead of \"%3\"")
        .arg(at)
        .arg(printable(found.mid(at, 16)), printable(expected.mid(at, 16)));
}

} // namespace

QByteArray storedText(const QByteArray& fileText) {
    QByteArray text = fileText;
    return text.replace('\r', QByteArray()).replace('\n', QByteArray());
}

QByteArray descriptor(const QByteArray& text) {
    const auto length = quint32(text.size());
    const quint16 crc = crcModbus(text);
    QByteArray bytes;
    for (int i = 0; i < 4; ++i) {
        bytes.append(char((length >> (8 * i)) & 0xFF));
    }
    bytes.append(char(crc & 0xFF));
    bytes.append(char(crc >> 8));
    return bytes;
}

QByteArray holding(int pages, const QByteArray& text, int pageSize) {
    const qsizetype base = areaStart(pageSize);
    QByteArray storage(qsizetype(pages) * pageSize, '\xFF');
    storage.replace(base, 6, descriptor(text));
    storage.replace(base + 6, 4, QByteArray(4, '\0'));
    storage.replace(base + kTextAddress, text.size(), text);
    return storage;
}

QString mismatch(const QByteArray& storage, const QByteArray& text, int pageSize) {
    const qsizetype base = areaStart(pageSize);
    if (storage.size() < base + kTextAddress + text.size()) {
        return QStringLiteral("storage of %1 bytes, too short").arg(storage.size());
    }
    const QByteArray found = storage.mid(base + kTextAddress, text.size());
    if (found != text) {
        return firstDifference(found, text);
    }
    const QByteArray head = storage.mid(base, 6);
    if (head != descriptor(text)) {
        return QStringLiteral("descriptor %1 instead of %2")
            .arg(QString::fromLatin1(head.toHex()), QString::fromLatin1(descriptor(text).toHex()));
    }
    return {};
}

} // namespace StorageArea
