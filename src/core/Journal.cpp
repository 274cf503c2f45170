#include "Journal.h"

#include "Cp1251.h"
#include "FormModel.h"
#include "LoaderError.h"
#include "Runtime.h"
#include "TimeFormat.h"
#include "UiTexts.h"

#include "OneLine.h"

#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QMutex>
#include <QStorageInfo>

namespace {

// The lock file keeps processes apart, not threads: one process's threads would each take it as
// their own. Loaders running on several threads of one process (a fleet) take this first.
QMutex& writers() {
    static QMutex mutex;
    return mutex;
}

} // namespace

// Why the lock beside the journal could not be had, by its real cause: another process holds
// it, the folder refuses the write, or the lock file could not be written (a full disk).
QString Journal::lockFailure(QLockFile::LockError error) const {
    const QString lockPath = path() + QStringLiteral(".lock");
    switch (error) {
    case QLockFile::LockFailedError:
        return QStringLiteral("журнал занят другим процессом (%1)").arg(lockPath);
    case QLockFile::PermissionError:
        return QStringLiteral("папка журнала недоступна для записи (%1)").arg(dataDir_);
    default:
        break;
    }
    const QStorageInfo disk(dataDir_);
    if (disk.isValid() && disk.bytesAvailable() == 0) {
        return QStringLiteral("на диске нет свободного места (%1)").arg(dataDir_);
    }
    return QStringLiteral("не удается записать файл блокировки журнала (%1)").arg(lockPath);
}

QString Journal::path() const {
    return QDir(dataDir_).filePath(QStringLiteral("velkor.jnl"));
}

QString Journal::connectionParams() const {
    const FormModel& f = form_;
    switch (form_.connectionKind()) {
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

// The message, with the note of the running operation after it (the Params line keeps the
// connection alone, as tools that read the journal expect it).
QString Journal::messageWithNote(const QString& message) const {
    const QString note = messageNote ? messageNote() : QString();
    return note.isEmpty() ? message : message + QLatin1Char(' ') + note;
}

// The entry goes out as one write of all its lines, appended under a lock that every process
// using the data folder takes (and every thread of this one), so that entries of runs going on at
// once never mix.
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
    QMutexLocker threads(&writers());
    QLockFile lock(path() + QStringLiteral(".lock"));
    if (!lock.tryLock(kLockWaitMs)) {
        throw LoaderError(lockFailure(lock.error()));
    }
    QFile file(path());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) {
        throw LoaderError(file.errorString());
    }
    if (file.write(entry) != entry.size()) {
        throw LoaderError(file.errorString());
    }
}
