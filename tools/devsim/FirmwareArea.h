#pragma once

#include "RecordLine.h"
#include "StorageMemory.h"

#include <QByteArray>
#include <QList>

namespace devsim {

// The controller's check of a firmware stored in its storage memory before it installs it:
// the descriptor (text length, 4 bytes, and CRC-16/MODBUS of the text, 2 bytes, low byte first)
// must agree with the text, and the text must be a sequence of valid records, each starting
// with "S" (the text holds the records without line ends).
struct FirmwareCheck {
    enum class Verdict { Good, BadLength, BadCrc, BadRecord };
    Verdict verdict = Verdict::BadLength;
    QByteArray detail; // what was wrong, for the answer
    QByteArray text;
    QList<RecordLine> records;
};

FirmwareCheck checkFirmwareArea(const StorageMemory& storage, int page, int textAddress);

// Splits a stored text into its record lines: each "S" starts a new one.
QList<QByteArray> splitStoredRecords(const QByteArray& text);

} // namespace devsim
