#pragma once

#include <QString>

// How far a bar has got: the progress of an operation, the wait for an answer.
struct BarState {
    int maximum = 100;
    int position = 0;
    QString text; // shown on the bar when not empty (percentage and remaining time)

    // The bar holds its position between 0 and its maximum.
    void setPosition(int value) { position = value < 0 ? 0 : (value > maximum ? maximum : value); }
    void setMaximum(int value) {
        maximum = value;
        setPosition(position);
    }
};
