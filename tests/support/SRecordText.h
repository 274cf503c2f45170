#pragma once

#include <QByteArray>

// Record lines for test firmware files, built here rather than by the loader's own code so
// that the tests check the loader against an independent writer.
namespace TestRecords {

// "S", the type, the count, the address and data bytes as given, and the checksum (ones'
// complement of the byte sum), in upper-case hexadecimal.
QByteArray record(char type, const QByteArray& addressAndData);

// The same from an address of addressBytes bytes (most significant first) and the data.
QByteArray srec(int type, quint32 address, int addressBytes, const QByteArray& data);

} // namespace TestRecords
