#include "TerminalMirror.h"

#include "TerminalLog.h"
#include "core/Cp1251.h"
#include "core/ScrollBack.h"

#include <QPlainTextEdit>
#include <QStringList>
#include <QTextBlock>
#include <QTextCursor>

std::optional<QString> TerminalMirror::update(const ScrollBack& lines, QPlainTextEdit& view) {
    const qint64 firstShown = shownEnd_ - qint64(rows_.size());
    if (lines.firstNumber() > firstShown) {
        dropTop(std::min(lines.firstNumber(), shownEnd_) - firstShown, view);
    }
    // Lines added and already dropped again since the last update are never shown.
    shownEnd_ = std::max(shownEnd_, lines.firstNumber());
    if (shownEnd_ == lines.endNumber()) {
        return std::nullopt;
    }
    QStringList text;
    for (qint64 number = shownEnd_; number < lines.endNumber(); ++number) {
        const QList<QByteArray> shown =
            TerminalLog::viewLines({lines.at(qsizetype(number - lines.firstNumber()))});
        for (const QByteArray& row : shown) {
            text.append(Cp1251::decode(row));
        }
        rows_.push_back(int(shown.size()));
    }
    shownEnd_ = lines.endNumber();
    return text.join(QLatin1Char('\n'));
}

void TerminalMirror::dropTop(qint64 count, QPlainTextEdit& view) {
    int rows = 0;
    for (qint64 n = 0; n < count && !rows_.empty(); ++n) {
        rows += rows_.front();
        rows_.pop_front();
    }
    if (rows_.empty() || rows >= view.document()->blockCount()) {
        view.clear();
        rows_.clear();
        return;
    }
    QTextCursor cursor(view.document());
    cursor.movePosition(QTextCursor::Start);
    cursor.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor, rows);
    cursor.removeSelectedText();
}

void TerminalMirror::adopt(const ScrollBack& lines) {
    rows_.assign(std::size_t(lines.size()), 1);
    shownEnd_ = lines.endNumber();
}
