#include "StoreProgress.h"

#include "TimeFormat.h"

#include <QLocale>

QString StoreProgress::percent(std::int64_t part, std::int64_t whole) {
    const double value = whole > 0 ? double(part) / double(whole) * 100.0 : 0.0;
    QLocale locale = QLocale::system();
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return locale.toString(value, 'f', 2);
}

QString StoreProgress::positionText(std::int64_t position, std::int64_t size) {
    return QStringLiteral("%1:%2").arg(position).arg(size);
}

QString StoreProgress::shortText(std::int64_t position, std::int64_t size, std::uint32_t bytes,
                                 int lines) {
    return QStringLiteral("Загружено %1 % байт %2 строк %3")
        .arg(percent(position, size))
        .arg(bytes)
        .arg(lines);
}

QString StoreProgress::longText(const QString& shortText, std::int64_t remainingMs) {
    return shortText + QStringLiteral(" Осталось: ") +
           TimeFormat::longTime(QTime(0, 0).addMSecs(int(remainingMs % (24LL * 3600 * 1000))));
}

QString StoreProgress::positionLine(std::uint16_t page, std::uint16_t addr, std::uint16_t line,
                                    std::uint16_t crc) {
    return QStringLiteral("Прошивка Num:%1 Addr:%2 Str:%3 CRC:%4")
        .arg(page)
        .arg(addr)
        .arg(line)
        .arg(QStringLiteral("%1").arg(crc, 4, 16, QLatin1Char('0')).toUpper());
}

void StoreProgress::RemainingTime::confirmed(const QDateTime& now) {
    if (!t0_.isValid()) {
        t0_ = now;
    } else if (t1_.isValid()) {
        d1Ms_ = t0_.msecsTo(t1_);
        t0_ = t1_;
    }
    t1_ = now;
    d2Ms_ = t0_.msecsTo(t1_);
}

std::int64_t StoreProgress::RemainingTime::remainingMs(std::int64_t linesLeft) const {
    const std::int64_t ms = (d1Ms_ + d2Ms_) * linesLeft / 2;
    return ms > 0 ? ms : 0;
}
