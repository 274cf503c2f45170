#include "WaitMenu.h"

#include "Loader.h"

#include <optional>

namespace {

// Asks for a number of milliseconds, showing the current value; nothing when cancelled. A text
// that is not a whole number of 0 or more gives fallback.
std::optional<int> askMilliseconds(Loader& loader, const QString& caption, int current,
                                   int fallback) {
    QString value = QString::number(current);
    if (!loader.dialogs.inputQuery(caption, QStringLiteral("Время в миллисекундах"), value)) {
        return std::nullopt;
    }
    bool ok = false;
    const int ms = value.toInt(&ok, 10);
    return ok && ms >= 0 ? ms : fallback;
}

} // namespace

void WaitMenu::mnuTimeOutClick(Loader& loader) {
    if (const std::optional<int> ms = askMilliseconds(
            loader, QStringLiteral("Время ожидания отклика"), loader.state.AnswerTimeoutMs, 1000)) {
        loader.setAnswerTimeout(*ms);
    }
}

void WaitMenu::mnuAnswerGapClick(Loader& loader) {
    if (const std::optional<int> ms =
            askMilliseconds(loader, QStringLiteral("Пауза внутри ответа"), loader.state.AnswerGapMs,
                            kDefaultAnswerGapMs)) {
        loader.setAnswerGap(*ms);
    }
}
