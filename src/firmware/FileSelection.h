#pragma once

#include "CheckFirmwareLines.h"

#include <QString>

class Loader;

// Takes the file at path as the firmware of the next operation: loads it, checks it with the
// verdict shown (status panel 3, the header), and keeps it in FirmwareFilePath when it is sound;
// a refused file leaves FirmwareFilePath empty. A file that cannot be read raises LoaderError
// and leaves FirmwareFilePath naming it.
FirmwareVerdict chooseFirmware(Loader& loader, const QString& path);
