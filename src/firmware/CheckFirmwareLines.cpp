#include "CheckFirmwareLines.h"

#include "FirmwareImage.h"
#include "HexPair.h"
#include "core/Cp1251.h"

#include <algorithm>

namespace {

using Kind = FirmwareVerdict::Kind;

// Position of the first byte pair after "S", the type and the count.
constexpr qsizetype kFirstPair = 4;
// Shortest line the reader looks at.
constexpr qsizetype kMinimumLength = 6;

const QString& checkingText() {
    static const QString text = QStringLiteral("Проверка целостности файла...");
    return text;
}

// Checks one record line. The bytes of an S0 record, all but its checksum, that are 0x20 or
// more go to header. A line shorter than its count announces is a bad line: nothing past its
// end is read.
Kind checkLine(QByteArrayView line, qsizetype index, QByteArray& header, qsizetype& headerIndex) {
    const char* p = line.data();
    const qsizetype length = line.size();
    if (length < kMinimumLength || p[0] != 'S' || p[1] < '0' || p[1] > '9') {
        return Kind::BadForm;
    }
    const unsigned count = HexPairValue(p[2], p[3]);
    if (length < kFirstPair + 2 * qsizetype(count)) {
        return Kind::BadForm;
    }
    const bool headerRecord = p[1] == '0';
    if (headerRecord && count > 0 && headerIndex < 0) {
        headerIndex = index;
    }
    unsigned sum = count;
    const char* pair = p + kFirstPair;
    for (unsigned k = 0; k < count; ++k, pair += 2) {
        const std::uint8_t b = HexPairValue(pair[0], pair[1]);
        if (headerRecord && k + 1 < count && b >= 0x20) {
            header.append(char(b));
        }
        sum += b;
    }
    return (sum & 0xFF) == 0xFF ? Kind::Sound : Kind::BadChecksum;
}

QString refusal(Kind kind, qsizetype index) {
    switch (kind) {
    case Kind::BadForm:
        return QStringLiteral("Неверный заголовок строки:") + QString::number(index);
    case Kind::NulByte:
        return QStringLiteral("Нулевой байт в строке:") + QString::number(index);
    default:
        return QStringLiteral("Не совпадает контрольная сумма строки:") + QString::number(index);
    }
}

} // namespace

QStringList FirmwareVerdict::statusTexts() const {
    if (kind == Kind::Empty) {
        return {};
    }
    QStringList texts{checkingText(), message};
    if (damaged()) {
        texts.append(QStringLiteral("Файл поврежден..."));
    }
    return texts;
}

QString FirmwareVerdict::finalStatus() const {
    const QStringList texts = statusTexts();
    return texts.isEmpty() ? QString() : texts.last();
}

QString FirmwareVerdict::keptHeader() const {
    return damaged() ? QString() : header;
}

qsizetype FirmwareVerdict::keptHeaderLine() const {
    return damaged() ? -1 : headerLine;
}

FirmwareVerdict CheckFirmwareLines(const FirmwareImage& image) {
    FirmwareVerdict verdict;
    const qsizetype nulLine = image.nulLine();
    const qsizetype lines = std::max(image.size(), nulLine + 1);
    if (lines == 0) {
        return verdict;
    }
    QByteArray header;
    verdict.kind = Kind::Sound;
    for (qsizetype i = 0; i < lines && verdict.sound(); ++i) {
        verdict.kind =
            i == nulLine ? Kind::NulByte : checkLine(image.line(i), i, header, verdict.headerLine);
        verdict.badLine = verdict.sound() ? -1 : i;
    }
    verdict.header = Cp1251::decode(header);
    verdict.message =
        verdict.sound() ? QStringLiteral("Файл в порядке") : refusal(verdict.kind, verdict.badLine);
    return verdict;
}
