#pragma once

#include "CheckFirmwareLines.h"

#include <cstdint>

class FirmwareImage;
class Loader;
class LoaderOutput;
class Runtime;

// Where a firmware check's verdict is shown: the status panels and the header read, and the
// clock that draws a refusal and holds it in view.
struct VerdictDisplay {
    LoaderOutput& output;
    Runtime& runtime;
    std::int32_t refusalShownMs; // 700 in the window, 0 in the shell
};

// Shows a firmware check's verdict as the window does: status panel 3 goes through the
// verdict's status texts, the header read goes out with its line (the window's header field
// and its tag). A refusal stays in view for refusalShownMs, after one pass of the event loop has
// drawn it; a badly formed line then leaves "Файл поврежден..." and an empty header field.
void ShowFirmwareVerdict(const VerdictDisplay& display, const FirmwareVerdict& verdict);

// Checks the image and shows the verdict; true when the file is sound.
bool CheckFirmwareOnForm(const VerdictDisplay& display, const FirmwareImage& image);
// The same on a loader's output, with its timings.
bool CheckFirmwareOnForm(Loader& loader, const FirmwareImage& image);
// The same, with the verdict (the header text the file holds now, for a procedure).
FirmwareVerdict CheckFirmwareShown(Loader& loader, const FirmwareImage& image);
