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

namespace {

// A text as one journal line: a line break or another control character would start a line of
// its own, through which a typed command or a port name could forge an entry, so each is
// written as an escape instead: CR and LF as \r and \n (as velkor-cli send takes them), any
// other as \xNN. A tab stays.
QString oneLine(const QString& text) {
    QString line;
    line.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u == '\r') {
            line += QStringLiteral("\\r");
        } else if (u == '\n') {
            line += QStringLiteral("\\n");
        } else if ((u < 0x20 && u != '\t') || u == 0x7F) {
            line +=
                QStringLiteral("\\x") + QString::number(u, 16).rightJustified(2, u'0').toUpper();
        } else {
            line += c;
        }
    }
    return line;
}

} // namespace

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
        QStringLiteral("Params:") + oneLine(connectionParams()),
        QStringLiteral("Msg:") + oneLine(message),
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
