#include "cli/HostPort.h"

#include "cli/UsageError.h"

namespace {

quint16 portNumber(const QString& text, const QString& option) {
    bool ok = false;
    const uint number = text.toUInt(&ok);
    if (!ok || number == 0 || number > 65535) {
        throw UsageError(
            QStringLiteral("--%1: \"%2\" is not a port number (1 to 65535)").arg(option, text));
    }
    return quint16(number);
}

// "[ADDRESS]" or "[ADDRESS]:PORT".
HostPort bracketed(const QString& value, const QString& option, quint16 defaultPort) {
    const qsizetype close = value.indexOf(QLatin1Char(']'));
    const QString rest = close < 0 ? QString() : value.mid(close + 1);
    if (close < 0 || (!rest.isEmpty() && !rest.startsWith(QLatin1Char(':')))) {
        throw UsageError(
            QStringLiteral("--%1: \"%2\" is not [ADDRESS] or [ADDRESS]:PORT").arg(option, value));
    }
    return {value.mid(1, close - 1),
            rest.isEmpty() ? defaultPort : portNumber(rest.mid(1), option)};
}

} // namespace

HostPort HostPort::parse(const QString& value, const QString& option, quint16 defaultPort) {
    HostPort result{value, defaultPort};
    const qsizetype colon = value.lastIndexOf(QLatin1Char(':'));
    if (value.startsWith(QLatin1Char('['))) {
        result = bracketed(value, option, defaultPort);
    } else if (colon >= 0 && value.indexOf(QLatin1Char(':')) == colon) {
        // One colon: HOST:PORT. More than one without brackets is an IPv6 address alone.
        result = {value.left(colon), portNumber(value.mid(colon + 1), option)};
    }
    if (result.host.isEmpty()) {
        throw UsageError(QStringLiteral("--%1: the host is missing").arg(option));
    }
    return result;
}
