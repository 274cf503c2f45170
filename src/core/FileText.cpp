#include "FileText.h"

#include "LoaderError.h"

#include <QFile>
#include <algorithm>

namespace {

constexpr qint64 kReadPiece = qint64(4) * 1024 * 1024;

QString openError(const QString& path, const QString& reason) {
    return QStringLiteral("Не удается открыть файл \"%1\": %2").arg(path, reason);
}

QString tooLarge(qint64 limit) {
    return QStringLiteral("файл больше %1 МБ").arg(limit / (1024 * 1024));
}

} // namespace

QByteArray readFileText(const QString& path, qint64 limit) {
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly)) {
        throw LoaderError(openError(path, path.isEmpty() ? QStringLiteral("не указано имя файла")
                                                         : file.errorString()));
    }
    // A regular file is read in one piece of its size; a device or a pipe in fixed pieces.
    const qint64 expected = file.isSequential() ? 0 : file.size();
    if (expected > limit) {
        throw FileTooLargeError(openError(path, tooLarge(limit)));
    }
    QByteArray text;
    while (true) {
        const qsizetype before = text.size();
        const qint64 room =
            std::min(std::max(kReadPiece, expected + 1 - before), limit + 1 - before);
        text.resize(before + qsizetype(room));
        const qint64 got = file.read(text.data() + before, room);
        if (got < 0) {
            throw LoaderError(openError(path, file.errorString()));
        }
        text.resize(before + qsizetype(got));
        const qsizetype nul = text.indexOf('\0', before);
        if (nul >= 0) {
            text.truncate(nul + 1);
            return text;
        }
        if (text.size() > limit) {
            throw FileTooLargeError(openError(path, tooLarge(limit)));
        }
        // A regular file reads short only at its end.
        if (got == 0 || (got < room && !file.isSequential())) {
            return text;
        }
    }
}
