#pragma once

#include <QString>
#include <QStringList>
#include <array>

// The serial line speeds the loader offers, in the order of the speed list (cmbBaudRate): an
// entry of the list is an index into kAll.
namespace BaudRates {

inline constexpr std::array<int, 8> kAll = {9600,  14400, 19200,  38400,
                                            56000, 57600, 115200, 256000};
inline constexpr int kDefault = 115200;

// The entry of the rate in the list, -1 when it is not there.
int entryOf(int rate);
// The speed of an entry, nothing when the entry is outside the list.
bool rateOf(int entry, int& rate);
// The list as the speed box shows it ("9600", ...).
QStringList texts();
// The list as one line: "9600, 14400, ..., 256000".
QString joined();

} // namespace BaudRates
