#pragma once

#include <QString>
#include <QTcpServer>

namespace devsim {

// Starts server listening on bindAddress:port; on failure error says what (what: "TCP",
// "broker") could not listen and why.
bool listenOn(QTcpServer& server, const QString& bindAddress, int port, const QString& what,
              QString* error);

// "ADDRESS:PORT" of a listening server, as the simulator prints it.
QString listeningAddress(const QTcpServer& server);

} // namespace devsim
