#include "OneLine.h"

// A text as one journal line: a line break or another control character would start a line of
// its own, through which a typed command or a port name could forge an entry, so each is
// written as an escape instead: CR and LF as \r and \n (as velkor-cli send takes them), any
// other as \xNN. A tab stays.
QString asOneLine(const QString& text) {
    QString line;
    line.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u == '\r') {
            line += QStringLiteral("\\r");
        } else if (u == '\n') {
            line += QStringLiteral("\\n");
        } else if ((u < 0x20 && u != '\t') || u == 0x7F) {
            line +=
                QStringLiteral("\\x") + QString::number(u, 16).rightJustified(2, u'0').toUpper();
        } else {
            line += c;
        }
    }
    return line;
}
