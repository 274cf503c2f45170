#include "TerminalLog.h"

#include "core/SafeFile.h"

#include <QDir>
#include <QFile>

namespace {

QString logName(int number) {
    return number == 0 ? QStringLiteral("velkor.log") : QStringLiteral("velkor%1.log").arg(number);
}

} // namespace

void TerminalLog::RotateTerminalLogs(const QString& dir) {
    QDir folder(dir);
    if (folder.exists(logName(5))) {
        folder.remove(logName(5));
    }
    for (int number = 4; number >= 0; --number) {
        if (folder.exists(logName(number))) {
            folder.rename(logName(number), logName(number + 1));
        }
    }
}

QList<QByteArray> TerminalLog::viewLines(const QList<QByteArray>& chunks) {
    QList<QByteArray> lines;
    for (const QByteArray& chunk : chunks) {
        qsizetype start = 0;
        qsizetype i = 0;
        while (i < chunk.size()) {
            const char c = chunk.at(i);
            if (c != '\r' && c != '\n') {
                ++i;
                continue;
            }
            lines.append(chunk.mid(start, i - start));
            i += (c == '\r' && i + 1 < chunk.size() && chunk.at(i + 1) == '\n') ? 2 : 1;
            start = i;
        }
        if (start < chunk.size() || chunk.isEmpty()) {
            lines.append(chunk.mid(start));
        }
    }
    return lines;
}

bool TerminalLog::SaveTerminalLog(const QString& dir, const QList<QByteArray>& chunks,
                                  QString* error) {
    // A run whose terminal stayed empty leaves the logs of the runs before as they are: quick
    // starts must not push a real session's log out of the set.
    if (chunks.isEmpty()) {
        return true;
    }
    RotateTerminalLogs(dir);
    QByteArray text;
    for (const QByteArray& line : viewLines(chunks)) {
        text.append(line);
        text.append("\r\n");
    }
    return writeFileSafely(QDir(dir).filePath(logName(0)), text, error);
}
