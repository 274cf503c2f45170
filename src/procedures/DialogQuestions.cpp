#include "DialogQuestions.h"

#include "WholeNumber.h"
#include "core/Dialogs.h"

namespace {

constexpr std::uint16_t kFirstPage = 70;
constexpr std::uint16_t kFirstAddr = 10;

} // namespace

Questions::Start DialogQuestions::startPosition(const ResumePosition& current) {
    Start start;
    start.fromBeginning =
        dialogs_.confirm(QStringLiteral("Загрузка прошивки с начального адреса?"));
    if (start.fromBeginning) {
        return start;
    }
    start.position.page = askNumber(QStringLiteral("Начальная страница"),
                                    QStringLiteral("Номер: 70..)"), current.page, kFirstPage);
    start.position.addr = askNumber(QStringLiteral("Адрес на странице"),
                                    QStringLiteral("Адрес: (0..525)"), current.addr, kFirstAddr);
    start.position.line = askNumber(QStringLiteral("Последняя загруженная строка"),
                                    QStringLiteral("Номер:"), current.line, 0);
    return start;
}

// A confirmed entry is kept in 16 bits, low bits only; an entry that is not a whole number
// raises the conversion error.
std::uint16_t DialogQuestions::askNumber(const QString& caption, const QString& prompt,
                                         std::uint16_t current, std::uint16_t cancelled) {
    QString value = QString::number(current);
    if (!dialogs_.inputQuery(caption, prompt, value)) {
        return cancelled;
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
