#pragma once

#include <QByteArray>
#include <QList>

// The terminal's lines, bounded as a terminal's scroll-back is: when they would make more than
// kMaxRows rows or take more than kMaxBytes of memory, the oldest lines go (the newest line
// always stays). So a peer that never stops sending cannot grow the view or the log without
// limit, whatever the size of its chunks: a line is held in a block of its own size, and each
// line counts kLineOverhead bytes besides its text.
//
// Lines are numbered from the start of the run and keep their numbers, so a view that mirrors
// them tells the lines it has shown from those added since and those gone from the top.
class ScrollBack {
public:
    static constexpr qsizetype kMaxRows = 10000;
    static constexpr qsizetype kMaxBytes = 2 * 1024 * 1024;
    // What a line costs besides its bytes: the array's header, the allocator's and the list's.
    static constexpr qsizetype kLineOverhead = 64;

    void append(const QByteArray& line);
    // Bounds of its own (a front end that shows no terminal keeps little); the lines held now
    // are trimmed to them.
    void setLimits(qsizetype maxRows, qsizetype maxBytes);
    // Removes every line (they count as gone from the top).
    void clear();
    // The lines become these, numbered after every line before (an edit of the view).
    ScrollBack& operator=(const QList<QByteArray>& lines);

    const QList<QByteArray>& lines() const { return lines_; }
    operator const QList<QByteArray>&() const { return lines_; }
    // The number of the oldest line held, and the number the next line will get.
    qint64 firstNumber() const { return first_; }
    qint64 endNumber() const { return first_ + lines_.size(); }

    qsizetype size() const { return lines_.size(); }
    bool isEmpty() const { return lines_.isEmpty(); }
    bool contains(const QByteArray& line) const { return lines_.contains(line); }
    const QByteArray& at(qsizetype i) const { return lines_.at(i); }
    const QByteArray& constLast() const { return lines_.constLast(); }
    QList<QByteArray>::const_iterator begin() const { return lines_.cbegin(); }
    QList<QByteArray>::const_iterator end() const { return lines_.cend(); }

    // The rows a line makes in the view: one per line break, and one for text after the last.
    static qsizetype rows(const QByteArray& line);

private:
    void dropOldest();
    static qsizetype cost(const QByteArray& line) { return line.size() + kLineOverhead; }

    void trim();

    QList<QByteArray> lines_;
    qsizetype maxRows_ = kMaxRows;
    qsizetype maxBytes_ = kMaxBytes;
    qint64 first_ = 0;
    qsizetype rows_ = 0;
    qsizetype bytes_ = 0;
};
