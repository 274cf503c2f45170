#pragma once

#include <QString>

class Application;

// Pictures of the windows for the documentation, saved as PNG files into a folder: the main
// window on each connection page, with the storage options, and during a flash over TCP/IP to
// the device and with the firmware file named in the settings; then the terminal window on the
// link the flash left open. Then the program quits.
namespace Screenshots {
void takeAndQuit(Application& app, const QString& folder);
} // namespace Screenshots
