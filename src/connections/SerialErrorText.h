#pragma once

#include <QString>

// The serial layer's failure texts: the system's text with its error code, and beside the code
// what the code means for a serial port, in Russian: "Unable to open com port (Error: 2 —
// устройство не существует)". A code without an explanation is given alone.
namespace SerialErrorText {

QString openFailed(int code);
QString writeFailed(int code);
QString readFailed(int code);

// What a system error code (errno) means for a serial port; empty for an unlisted code.
QString explanation(int code);

} // namespace SerialErrorText
