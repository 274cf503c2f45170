#pragma once

#include <QIcon>

// The application's icons, drawn in code in one style (rounded shapes, dark outline, one accent
// colour each). The numbered ones carry meaning: the connection kind is shown by the icon of
// ToolButton1 (8 serial, 88 TCP/IP, 89 broker) and the operation by the icon of btnConnect
// (18 flash, 37 storage load, 2 read back, 68 cancel).
namespace Icons {

enum Named : int {
    Terminal = 1000,
    About = 1001,
    Exit = 1002,
    Application = 1003,
};

// The icon of that number, or an empty icon for a number without a drawing.
QIcon icon(int number);

// The drawing of that number at size x size pixels (the drawings are made for 32), or a null
// pixmap for a number without a drawing.
QPixmap render(int number, int size);

} // namespace Icons
