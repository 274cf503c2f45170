#include "Journal.h"

#include "Cp1251.h"
#include "FormModel.h"
#include "LoaderError.h"
#include "Runtime.h"
#include "TimeFormat.h"
#include "UiTexts.h"

#include <QDir>
#include <QFile>
#include <QLockFile>

QString Journal::path() const {
    return QDir(dataDir_).filePath(QStringLiteral("velkor.jnl"));
}

QString Journal::connectionParams() const {
    const FormModel& f = form_;
    switch (form_.connectionKind()) {
    case kSerial:
        return QStringLiteral("Port:%1 Baud: %2").arg(f.cmbComPort.text, f.cmbBaudRate.text);
    case kTcp:
        return QStringLiteral("IP:%1 Port: %2").arg(f.IPEdit.text).arg(f.PortNum.roundedValue());
    case kBroker:
        return QStringLiteral("Broker IP:%1 Port: %2 ID: %3")
            .arg(f.BrokerIPEdt.text)
            .arg(f.BrokerPortEdt.roundedValue())
            .arg(f.HARDWARE_IDEdt.wholeValue());
    default:
        return QString();
    }
}

// The entry goes out as one write of all its lines, appended under a lock that every process
// using the data folder takes, so that entries of runs going on at once never mix.
void Journal::WriteJournal(const QString& message) {
    const QDateTime now = runtime_.now();
    const QString lines[] = {
        QString(60, QLatin1Char('-')),
        QStringLiteral("Date:") + TimeFormat::shortDate(now.date()) + QLatin1Char(' ') +
            TimeFormat::longTime(now.time()),
        QStringLiteral("Params:") + connectionParams(),
        QStringLiteral("Msg:") + message,
    };
    QByteArray entry;
    for (const QString& line : lines) {
        entry += Cp1251::encode(line) + "\r\n";
    }
    QLockFile lock(path() + QStringLiteral(".lock"));
    if (!lock.tryLock(kLockWaitMs)) {
        throw LoaderError(QStringLiteral("журнал занят другим процессом или папка недоступна "
                                         "для записи (%1)")
                              .arg(path()));
    }
    QFile file(path());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered)) {
        throw LoaderError(file.errorString());
    }
    if (file.write(entry) != entry.size()) {
        throw LoaderError(file.errorString());
    }
}
