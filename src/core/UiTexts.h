#pragma once

#include <QString>

// Icon numbers the behaviour depends on: the connection kind is shown by the icon of
// ToolButton1, and the settings keep the chosen operation as the icon number of its menu item.
enum : int {
    kIconSerial = 8,
    kIconTcp = 88,
    kIconBroker = 89,
    kIconCancel = 68,
    kIconFlash = 18,
    kIconStore = 37,
    kIconReadBack = 2,
};

// User-visible texts shared by several parts of the loader.
namespace UiTexts {
inline QString startButton() {
    return QStringLiteral("Загрузить прошивку");
}
inline QString cancelButton() {
    return QStringLiteral("Отмена");
}
inline QString menuFlash() {
    return QStringLiteral("Прошивка контроллера");
}
inline QString menuStore() {
    return QStringLiteral("Загрузка прошивки в память хранения контроллера");
}
inline QString menuReadBack() {
    return QStringLiteral("Выгрузка прошивки из памяти хранения контроллера в файл...");
}
inline QString firmwareGroup() {
    return QStringLiteral("Прошивка");
}
inline QString openingPort() {
    return QStringLiteral("Открытие порта...");
}
inline QString portUnavailable() {
    return QStringLiteral("порт не доступен. Возможно он занят!");
}
inline QString operationFailed() {
    return QStringLiteral("Операция не выполнена - нет ответа от устройства");
}
inline QString operationDoneIn() {
    return QStringLiteral("Операция выполнена за ");
}
inline QString cancelledByUser() {
    return QStringLiteral("Отменено пользователем.");
}
inline QString timeExpired() {
    return QStringLiteral("Время истекло...");
}
inline QString journalError() {
    return QStringLiteral("Ошибка журнала: %1");
}
} // namespace UiTexts
