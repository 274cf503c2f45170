#include "CheckFirmwareLines.h"

#include "FirmwareImage.h"
#include "HexPair.h"
#include "core/Cp1251.h"
#include "core/Loader.h"

namespace {

enum class LineVerdict { Sound, BadForm, BadChecksum };

// Position of the first byte pair after "S", the type and the count.
constexpr qsizetype kFirstPair = 4;
// Shortest line the reader looks at.
constexpr qsizetype kMinimumLength = 6;

// Checks one record line. The bytes of an S0 record, all but its checksum, that are 0x20 or
// more go to header. A line shorter than its count announces is a bad line: nothing past its
// end is read.
LineVerdict checkLine(QByteArrayView line, qsizetype index, QByteArray& header,
                      qsizetype& headerIndex) {
    const char* p = line.data();
    const qsizetype length = line.size();
    if (length < kMinimumLength || p[0] != 'S' || p[1] < '0' || p[1] > '9') {
        return LineVerdict::BadForm;
    }
    const unsigned count = HexPairValue(p[2], p[3]);
    if (length < kFirstPair + 2 * qsizetype(count)) {
        return LineVerdict::BadForm;
    }
    unsigned sum = count;
    const char* pair = p + kFirstPair;
    if (p[1] != '0') {
        for (unsigned k = 0; k < count; ++k, pair += 2) {
            sum += HexPairValue(pair[0], pair[1]);
        }
    } else {
        if (count > 0 && headerIndex < 0) {
            headerIndex = index;
        }
        for (unsigned k = 0; k < count; ++k, pair += 2) {
            const std::uint8_t b = HexPairValue(pair[0], pair[1]);
            if (k + 1 < count && b >= 0x20) {
                header.append(char(b));
            }
            sum += b;
        }
    }
    return (sum & 0xFF) == 0xFF ? LineVerdict::Sound : LineVerdict::BadChecksum;
}

void showHeader(Loader& loader, const QByteArray& header, qsizetype headerIndex) {
    loader.form.edtUnitSign.text = Cp1251::decode(header);
    loader.form.edtUnitSign.tag = int(headerIndex);
}

// A refusal: the message stays in view for 700 ms, after one pass of the event loop draws it.
void reportFailure(Loader& loader, const QString& text, qsizetype index) {
    loader.setStatus(3, text + QString::number(index));
    loader.runtime.processEvents();
    loader.runtime.sleep(700);
}

} // namespace

bool CheckFirmwareLines(Loader& loader, const FirmwareImage& image) {
    static const QString checking = QStringLiteral("Проверка целостности файла...");
    loader.form.edtUnitSign.text.clear();
    loader.form.edtUnitSign.tag = -1;
    QByteArray header;
    qsizetype headerIndex = -1;
    for (qsizetype i = 0; i < image.size(); ++i) {
        // Shown for every line; the panel only changes (and observers hear of it) once, since
        // no event runs between lines.
        if (loader.form.Status[3] != checking) {
            loader.setStatus(3, checking);
        }
        switch (checkLine(image.line(i), i, header, headerIndex)) {
        case LineVerdict::Sound:
            break;
        case LineVerdict::BadForm:
            showHeader(loader, header, headerIndex);
            reportFailure(loader, QStringLiteral("Неверный заголовок строки:"), i);
            loader.setStatus(3, QStringLiteral("Файл поврежден..."));
            showHeader(loader, QByteArray(), -1);
            return false;
        case LineVerdict::BadChecksum:
            showHeader(loader, header, headerIndex);
            reportFailure(loader, QStringLiteral("Не совпадает контрольная сумма строки:"), i);
            return false;
        }
    }
    if (image.isEmpty()) {
        return false;
    }
    showHeader(loader, header, headerIndex);
    loader.setStatus(3, QStringLiteral("Файл в порядке"));
    return true;
}
