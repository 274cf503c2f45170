#include "TimeFormat.h"

#include <QLocale>

QString TimeFormat::shortDate(const QDate& date) {
    return QLocale::system().toString(date, QLocale::ShortFormat);
}

QString TimeFormat::longTime(const QTime& time) {
    return time.toString(QStringLiteral("HH:mm:ss"));
}

QString TimeFormat::elapsed(const QDateTime& from, const QDateTime& to) {
    const qint64 ms = from.msecsTo(to);
    return longTime(QTime(0, 0).addMSecs(ms < 0 ? 0 : ms));
}
