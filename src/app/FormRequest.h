#pragma once

#include "core/LinkSettings.h"
#include "core/OperationRequest.h"

struct FormModel;
struct LoaderState;

// What the window's controls describe, as the loader takes it.
namespace FormRequest {

// The link of the connection page: the port typed as a device path, else the selected entry
// (the first when none is), the selected speed (the default when none is), the addresses and
// the id as numbers.
LinkSettings link(const FormModel& form);
// The request for an operation: the link, the chosen file and its header, the options.
OperationRequest operation(Operation operation, const FormModel& form, const LoaderState& state);
// The serial page shows the port and speed a link opens by: the first entry when none was
// selected, the default speed when none was.
void showChosenSerial(FormModel& form, const LinkSettings& link);

} // namespace FormRequest
