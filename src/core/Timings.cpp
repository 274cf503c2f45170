#include "Timings.h"

#include <QStringList>
#include <utility>

std::optional<Timings> Timings::parse(const QString& text, Timings base) {
    const std::pair<const char*, std::int32_t Timings::*> names[] = {
        {"page-write", &Timings::pageWriteMs},
        {"reprogram", &Timings::reprogramMs},
        {"restart", &Timings::restartMs},
        {"programming-start", &Timings::programmingStartMs},
        {"bootloader-pause", &Timings::bootloaderPauseMs},
        {"connect", &Timings::connectMs},
        {"refusal-shown", &Timings::refusalShownMs},
    };
    for (const QString& item : text.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const QString name = item.section(QLatin1Char('='), 0, 0).trimmed();
        bool ok = false;
        const int value = item.section(QLatin1Char('='), 1).trimmed().toInt(&ok);
        bool known = false;
        for (const auto& [key, field] : names) {
            if (name == QLatin1String(key)) {
                base.*field = value;
                known = true;
            }
        }
        if (!known || !ok || value < 0) {
            return std::nullopt;
        }
    }
    return base;
}
