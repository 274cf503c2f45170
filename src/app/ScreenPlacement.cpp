#include "ScreenPlacement.h"

#include <QGuiApplication>
#include <QRect>
#include <QScreen>
#include <algorithm>

namespace {

// value moved between low and high; low wins where high lies under it.
int placeBetween(int value, int low, int high) {
    return std::max(low, std::min(value, high));
}

} // namespace

QPoint ScreenPlacement::keepOnScreen(QPoint clientOrigin, QSize clientSize, QMargins frame) {
    const QScreen* screen = QGuiApplication::screenAt(clientOrigin);
    if (screen == nullptr) {
        screen = QGuiApplication::primaryScreen();
    }
    if (screen == nullptr) {
        return clientOrigin;
    }
    const QRect area = screen->availableGeometry();
    const QRect window = QRect(clientOrigin, clientSize).marginsAdded(frame);
    const int left = placeBetween(window.left(), area.left(), area.right() + 1 - window.width());
    const int top = placeBetween(window.top(), area.top(), area.bottom() + 1 - window.height());
    return QPoint(left + frame.left(), top + frame.top());
}
