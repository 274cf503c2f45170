#include "OutcomeText.h"

#include "Cp1251.h"
#include "OneLine.h"
#include "OperationTable.h"
#include "UiTexts.h"

namespace {

QString withReason(const QString& base, const QString& reason) {
    return reason.isEmpty() ? base : base + QStringLiteral(": ") + reason;
}

QString mismatchCause(const QString& file) {
    const QString base = QStringLiteral("контрольная сумма прочитанной прошивки не совпадает");
    if (file.isEmpty()) {
        return base + QStringLiteral(", принятый текст не сохранён");
    }
    return base + QStringLiteral(", принятая копия сохранена в ") + file;
}

// The commands of a send as the status names them: each on one line, blank between.
QString commandsText(const QList<QByteArray>& commands) {
    QStringList texts;
    for (const QByteArray& command : commands) {
        texts.append(asOneLine(Cp1251::decode(command)));
    }
    return texts.join(QLatin1Char(' '));
}

} // namespace

QString OutcomeText::cause(Outcome outcome, const QString& reason, const QString& file) {
    switch (outcome) {
    case Outcome::Success:
        return QString();
    case Outcome::Cancelled:
        return withReason(QStringLiteral("отменено пользователем"), reason);
    case Outcome::LinkLost:
        return withReason(QStringLiteral("связь с устройством потеряна"), reason);
    case Outcome::NoAnswer:
        return withReason(QStringLiteral("нет ответа от устройства"), reason);
    case Outcome::Refused:
        return reason.isEmpty() ? QStringLiteral("устройство отказало") : reason;
    case Outcome::Damaged:
        return withReason(QStringLiteral("ответ устройства повреждён (ошибка CRC)"), reason);
    case Outcome::Flooded:
        return withReason(QStringLiteral("устройство передает данные без остановки"), reason);
    case Outcome::Unconfirmed:
        return withReason(QStringLiteral("устройство не подтвердило записанное"), reason);
    case Outcome::FileRefused:
        return withReason(QStringLiteral("файл прошивки отклонён"), reason);
    case Outcome::ChecksumMismatch:
        return mismatchCause(file);
    case Outcome::NothingStored:
        return QStringLiteral("в памяти хранения контроллера нет прошивки");
    case Outcome::NotFound:
        // The reason names the controller ("ID 7").
        return reason.isEmpty() ? QStringLiteral("контроллер не найден брокером")
                                : QStringLiteral("контроллер %1 не найден брокером").arg(reason);
    case Outcome::FileError:
        return withReason(QStringLiteral("ошибка файла"), reason);
    case Outcome::ConnectionFailed:
    case Outcome::Error:
        return reason;
    }
    return reason;
}

QString OutcomeText::status(Outcome outcome, const QString& reason, const QString& file,
                            const QString& elapsed) {
    if (outcome == Outcome::Success) {
        return UiTexts::operationDoneIn() + elapsed;
    }
    return QStringLiteral("Операция не выполнена - ") + cause(outcome, reason, file);
}

QString OutcomeText::status(Operation operation, const Verdict& verdict, const QString& elapsed,
                            const QList<QByteArray>& commands) {
    const OperationRow& row = OperationTable::row(operation);
    if (row.done.isEmpty()) {
        return status(verdict.outcome, verdict.reason, verdict.file, elapsed);
    }
    const QString subject = row.subjectIsCommands ? commandsText(commands) : verdict.reason;
    if (verdict.succeeded()) {
        return row.done.arg(subject);
    }
    const QString cause = OutcomeText::cause(verdict.outcome, verdict.reason, verdict.file);
    return (row.failed.contains(QLatin1String("%1")) ? row.failed.arg(subject) : row.failed) +
           cause;
}

QString OutcomeText::word(Outcome outcome) {
    switch (outcome) {
    case Outcome::Success:
        return QStringLiteral("success");
    case Outcome::Cancelled:
        return QStringLiteral("cancelled");
    case Outcome::LinkLost:
        return QStringLiteral("link-lost");
    case Outcome::NoAnswer:
        return QStringLiteral("no-answer");
    case Outcome::Refused:
        return QStringLiteral("refused");
    case Outcome::Damaged:
        return QStringLiteral("damaged-answer");
    case Outcome::Flooded:
        return QStringLiteral("flood");
    case Outcome::Unconfirmed:
        return QStringLiteral("unconfirmed");
    case Outcome::FileRefused:
        return QStringLiteral("file-refused");
    case Outcome::ChecksumMismatch:
        return QStringLiteral("checksum-mismatch");
    case Outcome::NothingStored:
        return QStringLiteral("nothing-stored");
    case Outcome::NotFound:
        return QStringLiteral("not-found");
    case Outcome::FileError:
        return QStringLiteral("file-error");
    case Outcome::ConnectionFailed:
        return QStringLiteral("connection-failed");
    case Outcome::Error:
        return QStringLiteral("error");
    }
    return QStringLiteral("error");
}
