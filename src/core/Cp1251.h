#pragma once

#include <QByteArray>
#include <QString>

// Windows-1251, the code page of every text the loader writes to files and to the device.
// Every byte value maps to one character and back, so bytes survive a round trip through
// QString unchanged (the one unassigned byte, 0x98, maps to U+0098). Characters outside the
// code page are written as '?'.
namespace Cp1251 {
QString decode(const QByteArray& bytes);
QByteArray encode(const QString& text);
char encodeChar(QChar c);
QChar decodeByte(unsigned char byte);
} // namespace Cp1251
