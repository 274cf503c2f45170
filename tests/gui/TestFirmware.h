#pragma once

#include "SRecordText.h"

#include <QFile>
#include <QString>

// A small firmware file whose header fits every device ("HDR") and names a firmware version
// that may be loaded into storage memory; dataRecords records of 16 bytes follow it.
inline QString writeTestFirmware(const QString& dir, int dataRecords) {
    using TestRecords::record;
    const QString path = dir + QStringLiteral("/fw.s28");
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return QString();
    }
    file.write(record('0', QByteArray::fromHex("0000") + "HDR LUMET 2.64") + "\r\n");
    for (int i = 0; i < dataRecords; ++i) {
        QByteArray bytes = QByteArray::fromHex("01") + char(i >> 4) + char((i & 15) << 4);
        bytes += QByteArray(16, char(i));
        file.write(record('2', bytes) + "\r\n");
    }
    file.write(record('8', QByteArray::fromHex("010000")) + "\r\n");
    return path;
}
