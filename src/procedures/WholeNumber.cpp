#include "WholeNumber.h"

#include "core/LoaderError.h"

QString WholeNumber::conversionError(const QString& text) {
    return QStringLiteral("\"%1\" - недопустимое целое значение").arg(text);
}

std::int32_t WholeNumber::parse(const QString& text) {
    bool ok = false;
    const int value = text.trimmed().toInt(&ok, 10);
    if (!ok) {
        throw LoaderError(conversionError(text));
    }
    return std::int32_t(value);
}

std::int32_t WholeNumber::parseDigits(QByteArrayView digits) {
    std::int64_t value = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9') {
            throw LoaderError(conversionError(QString::fromLatin1(digits)));
        }
        value = value * 10 + (c - '0');
        if (value > INT32_MAX) {
            throw LoaderError(conversionError(QString::fromLatin1(digits)));
        }
    }
    if (digits.isEmpty()) {
        throw LoaderError(conversionError(QString()));
    }
    return std::int32_t(value);
}
