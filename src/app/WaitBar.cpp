#include "WaitBar.h"

#include <QMouseEvent>

void WaitBar::mousePressEvent(QMouseEvent* event) {
    if (onMouseDown) {
        onMouseDown();
    }
    QProgressBar::mousePressEvent(event);
}
