#include "Journal.h"

#include "Cp1251.h"
#include "LinkSettings.h"
#include "LoaderChoices.h"
#include "LoaderError.h"
#include "LockedAppend.h"
#include "Runtime.h"
#include "TimeFormat.h"
#include "UiTexts.h"

#include "OneLine.h"

#include <QDir>

QString Journal::path() const {
    return QDir(dataDir_).filePath(QStringLiteral("velkor.jnl"));
}

namespace {

// The Params line: where the link leads (port or address), its speed or port, the id.
QString paramsText(LinkKind kind, const QString& where, const QString& number, const QString& id) {
    switch (kind) {
    case LinkKind::Serial:
        return QStringLiteral("Port:%1 Baud: %2").arg(where, number);
    case LinkKind::Tcp:
        return QStringLiteral("IP:%1 Port: %2").arg(where, number);
    case LinkKind::Broker:
        return QStringLiteral("Broker IP:%1 Port: %2 ID: %3").arg(where, number, id);
    }
    return QString();
}

// The link an operation's request names, or the one chosen outside an operation.
QString paramsOf(const LinkSettings& link) {
    switch (link.kind) {
    case LinkKind::Serial:
        return paramsText(link.kind, link.serialPort, QString::number(link.baud), QString());
    case LinkKind::Tcp:
        return paramsText(link.kind, link.host, QString::number(link.port), QString());
    case LinkKind::Broker:
        return paramsText(link.kind, link.brokerHost, QString::number(link.brokerPort),
                          QString::number(link.hardwareId));
    }
    return QString();
}

} // namespace

void Journal::noteOperationLink(const LinkSettings& link) {
    operationParams_ = paramsOf(link);
}

QString Journal::connectionParams() const {
    return operationParams_.isEmpty() ? paramsOf(choices_.link) : operationParams_;
}

// The message, with the note of the running operation after it (the Params line keeps the
// connection alone, as tools that read the journal expect it).
QString Journal::messageWithNote(const QString& message) const {
    const QString note = messageNote ? messageNote() : QString();
    return note.isEmpty() ? message : message + QLatin1Char(' ') + note;
}

// The entry goes out as one write of all its lines, appended under the kernel's lock on the
// journal that every writer takes (each process, each thread of a fleet), so that entries of
// runs going on at once never mix, and none is lost while the writers take their turns.
void Journal::WriteJournal(const QString& message) {
    const QDateTime now = runtime_.now();
    const QString lines[] = {
        QString(60, QLatin1Char('-')),
        QStringLiteral("Date:") + TimeFormat::shortDate(now.date()) + QLatin1Char(' ') +
            TimeFormat::longTime(now.time()),
        QStringLiteral("Params:") + asOneLine(connectionParams()),
        QStringLiteral("Msg:") + asOneLine(messageWithNote(message)),
    };
    QByteArray entry;
    for (const QString& line : lines) {
        entry += Cp1251::encode(line) + "\r\n";
    }
    if (const QString failed = LockedAppend::append(path(), entry, false, lockStallMs);
        !failed.isEmpty()) {
        throw LoaderError(failed);
    }
}
