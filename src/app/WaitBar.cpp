#include "WaitBar.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QStyleOptionFocusRect>
#include <QStylePainter>

namespace {

bool isMenuKey(const QKeyEvent& key) {
    switch (key.key()) {
    case Qt::Key_Menu:
    case Qt::Key_Space:
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return true;
    case Qt::Key_F10:
        return key.modifiers() == Qt::ShiftModifier;
    default:
        return false;
    }
}

} // namespace

WaitBar::WaitBar(QWidget* parent) : QProgressBar(parent) {
    setFocusPolicy(Qt::TabFocus);
}

void WaitBar::mousePressEvent(QMouseEvent* event) {
    if (onMouseDown) {
        onMouseDown();
    }
    QProgressBar::mousePressEvent(event);
}

void WaitBar::keyPressEvent(QKeyEvent* event) {
    if (onMenuKey && isMenuKey(*event)) {
        onMenuKey();
        return;
    }
    QProgressBar::keyPressEvent(event);
}

// A progress bar draws no focus of its own: a dotted frame shows where Tab has come.
void WaitBar::paintEvent(QPaintEvent* event) {
    QProgressBar::paintEvent(event);
    if (!hasFocus()) {
        return;
    }
    QStylePainter painter(this);
    QStyleOptionFocusRect frame;
    frame.initFrom(this);
    frame.rect = rect().adjusted(1, 1, -1, -1);
    painter.drawPrimitive(QStyle::PE_FrameFocusRect, frame);
}
