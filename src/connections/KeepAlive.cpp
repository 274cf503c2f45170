#include "KeepAlive.h"

#ifdef Q_OS_LINUX
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#endif

namespace {

#ifdef Q_OS_LINUX
void setTcpOption(qintptr descriptor, int option, int value) {
    // Best effort: a refused option leaves the system's default time.
    ::setsockopt(int(descriptor), IPPROTO_TCP, option, &value, sizeof value);
}

int tcpOption(qintptr descriptor, int option) {
    int value = -1;
    socklen_t size = sizeof value;
    return ::getsockopt(int(descriptor), IPPROTO_TCP, option, &value, &size) == 0 ? value : -1;
}
#endif

} // namespace

void KeepAlive::enable(QAbstractSocket& socket) {
    socket.setSocketOption(QAbstractSocket::KeepAliveOption, 1);
#ifdef Q_OS_LINUX
    const qintptr descriptor = socket.socketDescriptor();
    if (descriptor < 0) {
        return;
    }
    setTcpOption(descriptor, TCP_KEEPIDLE, kIdleSeconds);
    setTcpOption(descriptor, TCP_KEEPINTVL, kIntervalSeconds);
    setTcpOption(descriptor, TCP_KEEPCNT, kProbes);
    // Also bounds a write that is never acknowledged, where the probes do not run.
    setTcpOption(descriptor, TCP_USER_TIMEOUT, kGiveUpMs);
#endif
}

KeepAlive::Settings KeepAlive::read(QAbstractSocket& socket) {
    Settings settings;
    settings.enabled = socket.socketOption(QAbstractSocket::KeepAliveOption).toInt() != 0;
#ifdef Q_OS_LINUX
    const qintptr descriptor = socket.socketDescriptor();
    if (descriptor >= 0) {
        settings.idleSeconds = tcpOption(descriptor, TCP_KEEPIDLE);
        settings.intervalSeconds = tcpOption(descriptor, TCP_KEEPINTVL);
        settings.probes = tcpOption(descriptor, TCP_KEEPCNT);
        settings.giveUpMs = tcpOption(descriptor, TCP_USER_TIMEOUT);
    }
#endif
    return settings;
}
