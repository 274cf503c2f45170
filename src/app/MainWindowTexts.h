#pragma once

#include <QString>

struct FormModel;

// Captions and hints of the main window that never change while it runs. Texts are exact;
// "\r\n" and "\r" break a caption or a hint into lines.
namespace MainWindowTexts {

inline QString title() {
    return QStringLiteral("Программа обновления ПО контроллеров LUMET5x, DORN2x");
}
inline QString captionPrefix() {
    return QStringLiteral("Обновление ПО:Korve Loader (");
}
inline QString connectKindLabel() {
    return QStringLiteral("Способ \r\nсоединения:");
}
inline QString unitSignLabel() {
    return QStringLiteral("Тип устройства:");
}
inline QString terminalHint() {
    return QStringLiteral("Терминал");
}
inline QString aboutHint() {
    return QStringLiteral("О программе");
}
inline QString waitBarHint() {
    return QStringLiteral(
        "Ожидание ответа. Щелчок завершает ожидание; правая кнопка (с клавиатуры: "
        "клавиша меню или пробел) открывает меню обмена");
}
inline QString exitHint() {
    return QStringLiteral("Выход из программы");
}
inline QString exitQuestion() {
    return QStringLiteral("Завершить работу программы?");
}
inline QString closeQuestion() {
    return QStringLiteral("Вы хотите завершить работу с программой?");
}
inline QString fileLabel() {
    return QStringLiteral("Путь к файлу \r\nпрошивки:");
}
inline QString headerLabel() {
    return QStringLiteral("Заголовок\r\nпрошивки:");
}

// Puts the fixed hints of the controls held by the form model into it.
void applyHints(FormModel& form);

// A caption or hint as a widget shows it: "\r\n" and "\r" become line breaks.
QString display(const QString& text);

// A button's caption as shown, with the letter that Alt presses it by underlined where it has
// one ("&Загрузить прошивку").
QString buttonText(const QString& caption);

// An operation menu item's caption as shown: the item is chosen by its first letter, and the
// first letters of the operations differ ("&Прошивка контроллера").
QString menuText(const QString& caption);

} // namespace MainWindowTexts
