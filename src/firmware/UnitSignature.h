#pragma once

#include <QByteArray>
#include <QString>

// The rule by which a firmware file fits a device. The device names its type in its restart
// text as "UNIT:" and the type; the file names it as the first word of its header text.
namespace UnitSignature {

// The file side: the header text up to, not including, the first character whose code is 32
// or less; the whole text when there is none.
QString HeaderFirstWord(const QString& header);

// The device side: from the "U" of the first "UNIT:" in the answer up to, not including, the
// first CR, LF or blank, or to the end of the answer. Empty when the answer holds no "UNIT:".
QByteArray DeviceSignature(const QByteArray& answer);
// The same, but only once a CR, LF or blank has ended it: a banner cut by a pause inside the
// device type is not judged by its first half. Empty until then.
QByteArray EndedDeviceSignature(const QByteArray& answer);

// The file fits the device when both signatures are equal byte for byte (case counts), or when
// the file's signature is "HDR", which fits every device.
bool Fits(const QString& fileSignature, const QByteArray& deviceSignature);

} // namespace UnitSignature
