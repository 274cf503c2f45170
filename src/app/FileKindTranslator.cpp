#include "FileKindTranslator.h"

#include <QCoreApplication>

QString FileKindTranslator::translate(const char* context, const char* sourceText,
                                      const char* disambiguation, int n) const {
    if (qstrcmp(context, "QAbstractFileIconProvider") != 0) {
        return QString();
    }
    const QString found = QCoreApplication::translate("QFileDialog", sourceText, disambiguation, n);
    return found == QLatin1String(sourceText) ? QString() : found;
}
