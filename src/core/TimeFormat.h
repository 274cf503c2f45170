#pragma once

#include <QDateTime>
#include <QString>

// Dates and times as the user's system writes them: the locale's short date, and the long time
// as hours:minutes:seconds.
namespace TimeFormat {
QString shortDate(const QDate& date);
QString longTime(const QTime& time);
// A duration shown as a time of day (the elapsed time of an operation).
QString elapsed(const QDateTime& from, const QDateTime& to);
} // namespace TimeFormat
