#include "Listening.h"

namespace devsim {

bool listenOn(QTcpServer& server, const QString& bindAddress, int port, const QString& what,
              QString* error) {
    if (server.listen(QHostAddress(bindAddress), quint16(port))) {
        return true;
    }
    *error = QStringLiteral("cannot listen on %1 %2:%3: %4")
                 .arg(what, bindAddress)
                 .arg(port)
                 .arg(server.errorString());
    return false;
}

QString listeningAddress(const QTcpServer& server) {
    return QStringLiteral("%1:%2").arg(server.serverAddress().toString()).arg(server.serverPort());
}

} // namespace devsim
