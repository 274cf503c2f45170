#pragma once

#include <QString>
#include <deque>
#include <optional>

class QPlainTextEdit;
class ScrollBack;

// Keeps the terminal view in step with the terminal's bounded lines: lines added since the
// last update are appended, and lines the scroll-back dropped at its top leave the view's top
// too, so the view holds no more than the lines do.
class TerminalMirror {
public:
    // Brings the view in line; returns the text to append (nothing: no new line). The caller
    // appends it, so that it can keep the view's scroll position as it wants.
    std::optional<QString> update(const ScrollBack& lines, QPlainTextEdit& view);
    // The user edited the view: its lines became the terminal's lines, one row each.
    void adopt(const ScrollBack& lines);

private:
    void dropTop(qint64 count, QPlainTextEdit& view);

    qint64 shownEnd_ = 0;  // the number after the last line shown
    std::deque<int> rows_; // the rows of each line shown, oldest first
};
