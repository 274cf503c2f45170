#pragma once

#include <QProgressBar>
#include <functional>

// The answer wait bar pbWaitAnswer: a press of any mouse button cuts the current wait short,
// and the right button also opens its context menu.
class WaitBar : public QProgressBar {
    Q_OBJECT
public:
    using QProgressBar::QProgressBar;

    std::function<void()> onMouseDown;

protected:
    void mousePressEvent(QMouseEvent* event) override;
};
