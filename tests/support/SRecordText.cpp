#include "SRecordText.h"

namespace TestRecords {

QByteArray record(char type, const QByteArray& addressAndData) {
    const int count = int(addressAndData.size()) + 1;
    int sum = count;
    for (const char b : addressAndData) {
        sum += static_cast<unsigned char>(b);
    }
    const QByteArray hex = QByteArray::number(count, 16).rightJustified(2, '0') +
                           addressAndData.toHex() +
                           QByteArray::number(0xFF - (sum & 0xFF), 16).rightJustified(2, '0');
    return "S" + QByteArray(1, type) + hex.toUpper();
}

QByteArray srec(int type, quint32 address, int addressBytes, const QByteArray& data) {
    QByteArray addressAndData;
    for (int i = addressBytes - 1; i >= 0; --i) {
        addressAndData.append(char((address >> (8 * i)) & 0xFF));
    }
    return record(char('0' + type), addressAndData + data);
}

} // namespace TestRecords
