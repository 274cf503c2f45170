#include "Journal.h"

#include "Cp1251.h"
#include "FormModel.h"
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

QString paramsOf(const FormModel& f) {
    switch (f.connectionKind()) {
    case LinkKind::Serial:
        return QStringLiteral("Port:%1 Baud: %2").arg(f.cmbComPort.text, f.cmbBaudRate.text);
    case LinkKind::Tcp:
        return QStringLiteral("IP:%1 Port: %2").arg(f.IPEdit.text).arg(f.PortNum.roundedValue());
    case LinkKind::Broker:
        return QStringLiteral("Broker IP:%1 Port: %2 ID: %3")
            .arg(f.BrokerIPEdt.text)
            .arg(f.BrokerPortEdt.roundedValue())
            .arg(f.HARDWARE_IDEdt.wholeValue());
    default:
        return QString();
    }
}

} // namespace

void Journal::noteOperationLink() {
    operationParams_ = paramsOf(form_);
}

QString Journal::connectionParams() const {
    return operationParams_.isEmpty() ? paramsOf(form_) : operationParams_;
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
