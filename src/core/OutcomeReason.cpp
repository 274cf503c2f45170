#include "OutcomeText.h"

#include "ProgressText.h"

namespace {

// ": ERR syntax": the device's own words after a cause, when it said any.
QString wordsAfter(const QString& words) {
    return words.isEmpty() ? QString() : QStringLiteral(": ") + words;
}

QString orWhenEmpty(const QString& text, const QString& instead) {
    return text.isEmpty() ? instead : text;
}

} // namespace

// Every cause has its words here: the switch names them all, so a cause without words does not
// compile.
QString OutcomeText::reason(const Verdict& verdict) {
    const VerdictContext& c = verdict.context;
    const QString command = QString::fromLatin1(c.command);
    switch (verdict.cause) {
    case Cause::None:
        return verdict.reason;
    case Cause::NoFile:
        return QStringLiteral("файл не указан");
    case Cause::FileInvalid:
        return QStringLiteral("файл некорректен");
    case Cause::DeviceMismatch:
        return QStringLiteral("тип устройства %1 не совпадает с сигнатурой файла %2")
            .arg(c.device, orWhenEmpty(c.signature, QStringLiteral("(пусто)")));
    case Cause::NoRestart:
        return QStringLiteral("контроллер не перезапустился за %1 с; перезапустите его (питание "
                              "или сброс) сразу после запуска прошивки")
            .arg(c.seconds);
    case Cause::NoBootloader:
        return QStringLiteral("контроллер перезапустился (%1), но загрузчик не ответил на \"i\"")
            .arg(orWhenEmpty(c.device, QStringLiteral("BIOS")));
    case Cause::StartRefused:
        return QStringLiteral("загрузчик отказал в начале программирования: %1").arg(c.words);
    case Cause::StartDamaged:
        return QStringLiteral("ответ на команду начала программирования повреждён");
    case Cause::RecordRefused:
        return QStringLiteral("загрузчик отказал на записи %1 из %2: %3")
            .arg(c.record)
            .arg(c.records)
            .arg(c.words);
    case Cause::RecordDamaged:
        return QStringLiteral("ответ на запись %1 из %2 повреждён").arg(c.record).arg(c.records);
    case Cause::EndedEarly:
        return QStringLiteral("загрузчик завершил программирование на записи %1 из %2, до конца "
                              "файла")
            .arg(c.record)
            .arg(c.records);
    case Cause::NoEndConfirmation:
        return QStringLiteral("нет подтверждения окончания программирования: %1, ответа \"OK\" "
                              "нет")
            .arg(ProgressText::recordsTaken(c.records));
    case Cause::AccessDenied:
        return QStringLiteral("отказ в доступе");
    case Cause::LoginRefused:
        return QStringLiteral("контроллер отказал в %1: %2").arg(command, c.words);
    case Cause::CommandUnconfirmed:
        return QStringLiteral("контроллер не подтвердил %1: %2")
            .arg(command, orWhenEmpty(c.words, QStringLiteral("(пустой ответ)")));
    case Cause::AnswerDamaged:
        return QStringLiteral("ответ на %1 повреждён").arg(command);
    case Cause::NoVersionAfterRestart:
        return QStringLiteral("контроллер не ответил на VER после перезапуска");
    case Cause::FinalisationUnconfirmed:
        return QStringLiteral("контроллер не подтвердил проверку прошивки (REPROGRAMM W без "
                              "GOOD)") +
               wordsAfter(c.words);
    case Cause::FileDamaged:
        return QStringLiteral("файл поврежден");
    case Cause::NoUpdateSignature:
        return QStringLiteral("Не найдена сигнатура удаленной загрузки!");
    case Cause::NoFileChosen:
        return QStringLiteral("файл для записи не выбран");
    case Cause::TextReadIncomplete:
        return QStringLiteral("текст прочитан заново %1 раз, и снова не полностью").arg(c.attempts);
    case Cause::FileUnwritable:
        return QStringLiteral("%1: %2").arg(c.path, c.words);
    case Cause::PieceUnconfirmed:
        return QStringLiteral("контроллер не подтвердил запись строки %1 (%2 попыток)%3")
            .arg(c.record)
            .arg(c.attempts)
            .arg(wordsAfter(c.words));
    case Cause::DescriptorRefused:
        // A positioning command that was refused is named before the controller's words.
        return QStringLiteral("контроллер не подтвердил запись дескриптора") +
               (c.command.isEmpty()
                    ? wordsAfter(c.words)
                    : QStringLiteral(": %1: %2").arg(QString::fromLatin1(c.command), c.words));
    case Cause::DescriptorMisplaced:
        return QStringLiteral("дескриптор записан не на место (ожидалось NUM:%1 ADDR:%2, ответ: "
                              "%3)")
            .arg(c.place.page)
            .arg(c.place.addr)
            .arg(c.words);
    case Cause::VerifyUnread:
        return QStringLiteral("проверка записанного не выполнена: %1").arg(c.words);
    case Cause::VerifyDiffers:
        return QStringLiteral("записанный текст не совпадает с файлом (символ %1 из %2)")
            .arg(c.character)
            .arg(c.characters);
    }
    return verdict.reason;
}
