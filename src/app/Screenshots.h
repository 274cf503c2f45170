#pragma once

#include <QString>

class Application;

// Pictures of the windows for the documentation: the main window on each connection page and
// the terminal window, saved as PNG files into a folder; then the program quits.
namespace Screenshots {
void takeAndQuit(Application& app, const QString& folder);
} // namespace Screenshots
