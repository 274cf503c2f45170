#include "ProgressText.h"

namespace {

QString percent(const ProgressEvent& p) {
    const double share = 100.0 * double(p.done) / double(p.total);
    return QStringLiteral("%1 %").arg(share, 0, 'f', 1);
}

// "m:ss", or "h:mm:ss" from an hour on: short enough for the bar.
QString shortDuration(std::int64_t ms) {
    const std::int64_t seconds = (ms + 999) / 1000;
    const QString tail = QStringLiteral("%1:%2")
                             .arg(seconds / 60 % 60, seconds >= 3600 ? 2 : 1, 10, QLatin1Char('0'))
                             .arg(seconds % 60, 2, 10, QLatin1Char('0'));
    return seconds >= 3600 ? QStringLiteral("%1:").arg(seconds / 3600) + tail : tail;
}

QString duration(std::int64_t ms) {
    const std::int64_t seconds = (ms + 999) / 1000;
    return QStringLiteral("%1:%2:%3")
        .arg(seconds / 3600, 2, 10, QLatin1Char('0'))
        .arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

} // namespace

QString ProgressText::barText(const ProgressEvent& progress) {
    if (progress.total <= 0) {
        return QString();
    }
    QString text = QStringLiteral("%1 %").arg(progress.done * 100 / progress.total);
    if (progress.remainingMs) {
        text += QStringLiteral(" · ") + shortDuration(*progress.remainingMs);
    }
    return text;
}

QString ProgressText::suffix(const ProgressEvent& progress) {
    if (progress.total <= 0) {
        return QString();
    }
    QString text = QLatin1Char(' ') + percent(progress);
    if (progress.remainingMs) {
        text += QStringLiteral(", осталось ") + duration(*progress.remainingMs);
    }
    return text;
}

std::optional<std::int64_t> ProgressText::remainingMs(std::int64_t elapsedMs, std::int64_t done,
                                                      std::int64_t total) {
    // Too early to say: a first record or two tell nothing of the pace.
    if (done < 2 || elapsedMs < 500 || total < done) {
        return std::nullopt;
    }
    return elapsedMs * (total - done) / done;
}

QString ProgressText::counted(std::int64_t n, const QString& one, const QString& few,
                              const QString& many) {
    const std::int64_t tens = n % 100;
    const std::int64_t units = n % 10;
    const QString& noun = (tens >= 11 && tens <= 14)   ? many
                          : units == 1                 ? one
                          : (units >= 2 && units <= 4) ? few
                                                       : many;
    return QStringLiteral("%1 %2").arg(n).arg(noun);
}

QString ProgressText::recordsTaken(std::int64_t n) {
    const QString records =
        counted(n, QStringLiteral("запись"), QStringLiteral("записи"), QStringLiteral("записей"));
    return n == 1 ? records + QStringLiteral(" принята")
                  : QStringLiteral("все %1 приняты").arg(records);
}
