#include "Answer.h"

#include "Cp1251.h"

QString Answer::words() const {
    for (const QByteArray& line : text.split('\n')) {
        const QByteArray trimmedLine = line.trimmed();
        if (!trimmedLine.isEmpty()) {
            return Cp1251::decode(trimmedLine.left(120));
        }
    }
    return QString();
}
