#include "SerialErrorText.h"

#include <QtGlobal>
#include <cerrno>

namespace {

QString withCode(const char* text, int code) {
    const QString meaning = SerialErrorText::explanation(code);
    return QStringLiteral("%1 (Error: %2%3)")
        .arg(QLatin1String(text))
        .arg(code)
        .arg(meaning.isEmpty() ? QString() : QStringLiteral(" — ") + meaning);
}

} // namespace

QString SerialErrorText::openFailed(int code) {
    return withCode("Unable to open com port", code);
}

QString SerialErrorText::writeFailed(int code) {
    return withCode("WriteFile function failed", code);
}

QString SerialErrorText::readFailed(int code) {
    return withCode("ReadFile function failed", code);
}

QString SerialErrorText::explanation(int code) {
#ifdef Q_OS_UNIX
    switch (code) {
    case ENOENT:
        return QStringLiteral("устройство не существует");
    case ENODEV:
    case ENXIO:
        return QStringLiteral("устройство отключено");
    case EACCES:
    case EPERM:
        return QStringLiteral("нет прав доступа к устройству");
    case EBUSY:
        return QStringLiteral("порт занят другой программой");
    case EIO:
        return QStringLiteral("ошибка ввода-вывода: устройство отключено или неисправно");
    case ENOTTY:
        return QStringLiteral("устройство не является последовательным портом");
    case EAGAIN:
        return QStringLiteral("устройство временно недоступно");
    case EINVAL:
        return QStringLiteral("устройство не принимает параметры порта");
    case EMFILE:
    case ENFILE:
        return QStringLiteral("открыто слишком много файлов");
    default:
        return QString();
    }
#else
    // The codes of other systems mean other things; their text stands alone.
    Q_UNUSED(code);
    return QString();
#endif
}
