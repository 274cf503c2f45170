#include "WriteHeaderRecord.h"

#include "FirmwareImage.h"
#include "HeaderRecord.h"
#include "core/Cp1251.h"

#include <vector>

namespace {

// Where the header goes. The index comes from the last check of the file and the lines are
// fresh from it; should the file have changed since, so that the line there is no header
// record, the image's own first header record is used, so a data record is never overwritten.
// -1: the image has no header record.
qsizetype headerPosition(const FirmwareImage& image, qsizetype index) {
    if (index >= 0 && index < image.size() && HeaderRecord::isHeaderLine(image.line(index))) {
        return index;
    }
    for (qsizetype i = 0; i < image.size(); ++i) {
        if (HeaderRecord::isHeaderLine(image.line(i))) {
            return i;
        }
    }
    return -1;
}

// The header text shown was joined from every header record of the file, so the others are
// taken out: the file then reads back as exactly the text saved. Returns the position after
// the removal.
qsizetype removeOtherHeaders(FirmwareImage& image, qsizetype keep) {
    std::vector<qsizetype> others;
    qsizetype before = 0;
    for (qsizetype i = 0; i < image.size(); ++i) {
        if (i != keep && HeaderRecord::isHeaderLine(image.line(i))) {
            others.push_back(i);
            before += i < keep ? 1 : 0;
        }
    }
    image.removeLines(others);
    return keep - before;
}

} // namespace

qsizetype WriteHeaderRecord(const QString& header, qsizetype headerLine, FirmwareImage& image) {
    if (header.isEmpty()) {
        return headerLine;
    }
    const QList<QByteArray> records = HeaderRecord::buildAll(Cp1251::encode(header));
    qsizetype index = headerPosition(image, headerLine);
    if (index < 0) {
        index = image.size();
        for (const QByteArray& record : records) {
            image.appendLine(record);
        }
    } else {
        index = removeOtherHeaders(image, index);
        image.replaceLine(index, records);
    }
    return index;
}
