#pragma once

#include <QDateTime>
#include <QString>
#include <cstdint>

// The progress texts of the storage upload and its remaining-time estimate.
namespace StoreProgress {

// A percentage with two decimals and the system's decimal separator; 0 for an empty whole.
QString percent(std::int64_t part, std::int64_t whole);

// "%d:%d" with the position and the size (status panel 0).
QString positionText(std::int64_t position, std::int64_t size);

// "Загружено P % байт B строк L" (status panel 3).
QString shortText(std::int64_t position, std::int64_t size, std::uint32_t bytes, int lines);
// The short text followed by " Осталось: " and the remaining time.
QString longText(const QString& shortText, std::int64_t remainingMs);

// "Прошивка Num:P Addr:A Str:L CRC:XXXX", the caption of the firmware group.
QString positionLine(std::uint16_t page, std::uint16_t addr, std::uint16_t line, std::uint16_t crc);

// The remaining time from the last two intervals between accepted writes: D1 is the one before
// last, D2 the last. The long text is shown once both are known.
class RemainingTime {
public:
    // Records an accepted write at now.
    void confirmed(const QDateTime& now);
    bool known() const { return d1Ms_ > 0 && d2Ms_ > 0; }
    // Average of the two intervals times the lines left; never negative.
    std::int64_t remainingMs(std::int64_t linesLeft) const;

private:
    QDateTime t0_;
    QDateTime t1_;
    std::int64_t d1Ms_ = 0;
    std::int64_t d2Ms_ = 0;
};

} // namespace StoreProgress
