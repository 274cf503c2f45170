#include "DialogQuestions.h"

#include "WholeNumber.h"
#include "core/Dialogs.h"

// Escape on any of the questions cancels the operation and keeps the position it had.
Questions::Start DialogQuestions::startPosition(const ResumePosition& current) {
    Start start;
    const std::optional<bool> fromBeginning =
        dialogs_.question(QStringLiteral("Загрузка прошивки с начального адреса?"));
    if (!fromBeginning) {
        return cancelledAt(current);
    }
    start.fromBeginning = *fromBeginning;
    if (start.fromBeginning) {
        return start;
    }
    const std::optional<std::uint16_t> page = askNumber(
        QStringLiteral("Начальная страница"), QStringLiteral("Номер: 70..)"), current.page);
    const std::optional<std::uint16_t> addr =
        page ? askNumber(QStringLiteral("Адрес на странице"), QStringLiteral("Адрес: (0..525)"),
                         current.addr)
             : std::nullopt;
    const std::optional<std::uint16_t> line =
        addr ? askNumber(QStringLiteral("Последняя загруженная строка"), QStringLiteral("Номер:"),
                         current.line)
             : std::nullopt;
    if (!line) {
        return cancelledAt(current);
    }
    start.position = ResumePosition{*page, *addr, *line};
    return start;
}

Questions::Start DialogQuestions::cancelledAt(const ResumePosition& current) {
    Start start;
    start.fromBeginning = false;
    start.position = current;
    start.cancelled = true;
    return start;
}

// A confirmed entry is kept in 16 bits, low bits only; an entry that is not a whole number
// raises the conversion error. Nothing when the box was cancelled.
std::optional<std::uint16_t>
DialogQuestions::askNumber(const QString& caption, const QString& prompt, std::uint16_t current) {
    QString value = QString::number(current);
    if (!dialogs_.inputQuery(caption, prompt, value)) {
        return std::nullopt;
    }
    return std::uint16_t(std::uint32_t(WholeNumber::parse(value)) & 0xFFFFU);
}

QString DialogQuestions::password() {
    QString password;
    if (!dialogs_.inputQuery(QStringLiteral("Прибор блокирован"), QStringLiteral("Пароль доступа"),
                             password)) {
        return QString();
    }
    return password;
}

std::optional<QString> DialogQuestions::fileToWrite() {
    if (!dialogs_.saveFile(fileDialog_)) {
        return std::nullopt;
    }
    return fileDialog_.fileName;
}
