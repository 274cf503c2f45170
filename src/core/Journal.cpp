#include "Journal.h"

#include "Cp1251.h"
#include "Loader.h"
#include "LoaderError.h"
#include "TimeFormat.h"

#include <QDir>
#include <QFile>

QString Journal::path() const {
    return QDir(loader_.dataDir()).filePath(QStringLiteral("velkor.jnl"));
}

QString Journal::connectionParams() const {
    const FormModel& f = loader_.form;
    switch (loader_.connectionKind()) {
    case kSerial:
        return QStringLiteral("Port:%1 Baud: %2").arg(f.cmbComPort.text, f.cmbBaudRate.text);
    case kTcp:
        return QStringLiteral("IP:%1 Port: %2").arg(f.IPEdit.text).arg(f.PortNum.roundedValue());
    case kBroker:
        return QStringLiteral("Broker IP:%1 Port: %2 ID: %3")
            .arg(f.BrokerIPEdt.text)
            .arg(f.BrokerPortEdt.roundedValue())
            .arg(f.HARDWARE_IDEdt.roundedValue());
    default:
        return QString();
    }
}

void Journal::WriteJournal(const QString& message) {
    QFile file(path());
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append)) {
        throw LoaderError(file.errorString());
    }
    const QDateTime now = loader_.runtime.now();
    const QString lines[] = {
        QString(60, QLatin1Char('-')),
        QStringLiteral("Date:") + TimeFormat::shortDate(now.date()) + QLatin1Char(' ') +
            TimeFormat::longTime(now.time()),
        QStringLiteral("Params:") + connectionParams(),
        QStringLiteral("Msg:") + message,
    };
    for (const QString& line : lines) {
        const QByteArray bytes = Cp1251::encode(line) + "\r\n";
        if (file.write(bytes) != bytes.size() || !file.flush()) {
            throw LoaderError(file.errorString());
        }
    }
}
