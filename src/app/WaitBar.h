#pragma once

#include <QProgressBar>
#include <functional>

// The answer wait bar pbWaitAnswer: a press of any mouse button cuts the current wait short,
// and the right button also opens its context menu. Tab reaches it, so that its menu opens from
// the keyboard too: with the menu key, Shift+F10, Space or Enter (onMenuKey).
class WaitBar : public QProgressBar {
    Q_OBJECT
public:
    explicit WaitBar(QWidget* parent = nullptr);

    std::function<void()> onMouseDown;
    std::function<void()> onMenuKey;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
};
