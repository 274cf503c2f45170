#include "PhaseText.h"

#include "ProgressText.h"
#include "StoreProgress.h"
#include "UiTexts.h"

namespace {

const QString kWaitReset = QStringLiteral("Ожидание сброса устройства...");
const QString kProgramming = QStringLiteral("Идет программирование устройства...");

QString waitingForRestart(const PhaseEvent& e) {
    return e.seconds < 0 ? kWaitReset : kWaitReset + QStringLiteral(" %1 с").arg(e.seconds);
}

QString programming(const PhaseEvent& e) {
    if (e.done < 0) {
        return kProgramming;
    }
    return kProgramming +
           ProgressText::suffix(ProgressEvent{e.done, e.total, std::nullopt, e.remainingMs});
}

QString storingText(const PhaseEvent& e) {
    const QString text = StoreProgress::shortText(e.done, e.total, std::uint32_t(e.bytes), e.lines);
    return e.remainingMs ? StoreProgress::longText(text, *e.remainingMs) : text;
}

QString waitingForController(const PhaseEvent& e) {
    const QString cause = e.controllerMissing ? QStringLiteral("контроллер не найден брокером, ")
                                              : QStringLiteral("нет ответа, ");
    return QStringLiteral("Дожидаемся подключения LUMET: %1попытка %2").arg(cause).arg(e.attempt);
}

} // namespace

QString PhaseText::status(const PhaseEvent& e) {
    switch (e.phase) {
    case Phase::OpeningLink:
        return UiTexts::openingPort();
    case Phase::WaitingForRestart:
        return waitingForRestart(e);
    case Phase::ReadingSignature:
        return QStringLiteral("Разбор сигнатуры...");
    case Phase::SignatureAccepted:
        return QStringLiteral("Сигнатура принята...");
    case Phase::EnteringBootloader:
        return QStringLiteral("Выполняется вход в загрузчик...");
    case Phase::InBootloader:
        return QStringLiteral("Вошли в загрузчик.");
    case Phase::Programming:
        return programming(e);
    case Phase::Programmed:
        return QStringLiteral("Программирование закончено успешно.");
    case Phase::SettingStartPage:
        return QStringLiteral("Устанавливаем стартовую страницу %1 для загрузки обновления...")
            .arg(e.page);
    case Phase::SettingPageAddress:
        return QStringLiteral("Устанавливаем адрес на странице %1").arg(e.address);
    case Phase::AccessGranted:
        return QStringLiteral("LUMET:Доступ разрешен!");
    case Phase::StoringText:
        return storingText(e);
    case Phase::ReadingText:
        return QStringLiteral("Загружено %1 %   байт %2")
            .arg(StoreProgress::percent(e.done, e.total))
            .arg(e.done);
    case Phase::WaitingForDevice:
        return QStringLiteral("Ожидаем подключения к прибору..");
    case Phase::Verifying:
        return QStringLiteral("Проверка записанного...");
    case Phase::WaitingForController:
        return waitingForController(e);
    case Phase::TimeExpired:
        return UiTexts::timeExpired();
    case Phase::Cancelled:
        return UiTexts::cancelledByUser();
    case Phase::Refused:
        return QStringLiteral("Несовместимость прошивки...");
    case Phase::Failed:
        return QStringLiteral("Ошибка %1").arg(e.words);
    case Phase::Message:
        return e.words;
    }
    return e.words;
}
