#pragma once

#include <QByteArray>
#include <QString>

// The firmware area of the simulator's storage file, written and read here rather than by the
// loader's own code so that the tests check the loader against an independent reader. The file
// holds the pages (of 528 bytes unless the simulator was given another size) one after another,
// erased to FF; the area starts on page 70: addresses 0-3 the text's length and 4-5 its
// CRC-16/MODBUS (both low byte first), the text from address 10 on.
namespace StorageArea {

constexpr int kPageSize = 528;
constexpr int kFirmwarePage = 70;
constexpr int kTextAddress = 10;

// What a store puts into the area for a firmware file: its lines without line ends, joined.
QByteArray storedText(const QByteArray& fileText);

// The length and CRC-16/MODBUS of a stored text, as the area's first six bytes.
QByteArray descriptor(const QByteArray& text);

// An erased storage of `pages` pages holding text with its descriptor (and four zero bytes
// after it, as a store leaves them).
QByteArray holding(int pages, const QByteArray& text, int pageSize = kPageSize);

// Empty when storage holds exactly text and its descriptor; otherwise what differs.
QString mismatch(const QByteArray& storage, const QByteArray& text, int pageSize = kPageSize);

} // namespace StorageArea
