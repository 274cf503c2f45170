#pragma once

#include <QString>

class FirmwareImage;

// Puts the header text into the image as header records: where the header was (headerLine,
// from the last check of the file), or as the last line when the image has none. Returns the
// line the header now stands on; an empty header text leaves the image as it is and returns
// headerLine.
qsizetype WriteHeaderRecord(const QString& header, qsizetype headerLine, FirmwareImage& image);
