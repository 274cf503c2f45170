#include "UnitSignature.h"

#include "core/Cp1251.h"

QString UnitSignature::HeaderFirstWord(const QString& header) {
    qsizetype end = 0;
    while (end < header.size() && header.at(end).unicode() > 32) {
        ++end;
    }
    return header.left(end);
}

QByteArray UnitSignature::DeviceSignature(const QByteArray& answer) {
    const qsizetype start = answer.indexOf("UNIT:");
    if (start < 0) {
        return QByteArray();
    }
    qsizetype end = start;
    while (end < answer.size() && answer.at(end) != '\r' && answer.at(end) != '\n' &&
           answer.at(end) != ' ') {
        ++end;
    }
    return answer.mid(start, end - start);
}

QByteArray UnitSignature::EndedDeviceSignature(const QByteArray& answer) {
    const QByteArray signature = DeviceSignature(answer);
    const qsizetype end = answer.indexOf("UNIT:") + signature.size();
    return signature.isEmpty() || end >= answer.size() ? QByteArray() : signature;
}

bool UnitSignature::Fits(const QString& fileSignature, const QByteArray& deviceSignature) {
    if (fileSignature == QStringLiteral("HDR")) {
        return true;
    }
    // Every byte decodes to its own character, so this compares the bytes.
    return fileSignature == Cp1251::decode(deviceSignature);
}
