#pragma once

#include <QMargins>
#include <QPoint>
#include <QSize>

// Where a window restored at a stored position goes, so that it is seen: a position kept from
// another screen layout or another scale (a window saved at 100 % and started at 200 % is twice
// as large and the screen half as wide in the window's units) would put it mostly off the
// screen.
namespace ScreenPlacement {

// The client area's origin for a window of clientSize with its frame around it, stored at
// clientOrigin: unchanged while the whole window fits on the screen it is on; otherwise moved
// onto that screen's free area (the primary screen when it is on none), and where the window is
// larger than the screen, its top left corner (the title bar, the tool bar) is what is kept.
QPoint keepOnScreen(QPoint clientOrigin, QSize clientSize, QMargins frame);

} // namespace ScreenPlacement
