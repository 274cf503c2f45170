#pragma once

#include "firmware/CheckFirmwareLines.h"

#include <QString>
#include <optional>

struct FormModel;
class Loader;

// The firmware file choice of the main window.

// The handler of btnOpen. From the button (fromButton) it asks for a file through the loader's
// file dialog; without it (the start-up reload) it takes the file named in edName. An accepted
// file stays in FirmwareFilePath and edName; a refused one clears both. A file that cannot be
// read raises LoaderError and leaves the name in place. Returns the check's verdict (its final
// status is the refusal's text), none when the dialog was cancelled.
std::optional<FirmwareVerdict> btnOpenClick(FormModel& form, Loader& loader, bool fromButton);

// Puts a file name into edName and runs edNameChange when the text changed, as the field does.
void setEdName(FormModel& form, const QString& text);

// The handler of a change of edName: header editing is possible exactly when a file of that
// name exists.
void edNameChange(FormModel& form);
