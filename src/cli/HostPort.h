#pragma once

#include <QString>
#include <QtGlobal>

// The value of --tcp and --broker: HOST, HOST:PORT, an IPv6 address alone (::1, fe80::1%eth0)
// or in brackets with a port ([::1]:10001); the port defaults to defaultPort. Raises UsageError
// naming the option when the host is missing, the brackets are not closed, or the port is no
// number of 1 to 65535.
struct HostPort {
    QString host;
    quint16 port = 0;

    static HostPort parse(const QString& value, const QString& option, quint16 defaultPort);
};
