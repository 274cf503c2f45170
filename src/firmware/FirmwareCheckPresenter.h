#pragma once

#include "CheckFirmwareLines.h"

class FirmwareImage;
class Loader;

// Shows a firmware check's verdict on the form as the window does: status panel 3 goes through
// the verdict's status texts, the header field (edtUnitSign, its tag the header line) shows
// the header read. A refusal stays in view for Timings::refusalShownMs (700 ms in the window),
// after one pass of the event loop has drawn it; a badly formed line then leaves
// "Файл поврежден..." and an empty header field.
void ShowFirmwareVerdict(Loader& loader, const FirmwareVerdict& verdict);

// Checks the image and shows the verdict; true when the file is sound.
bool CheckFirmwareOnForm(Loader& loader, const FirmwareImage& image);
