#pragma once

#include <QAbstractSocket>
#include <QString>

// Why a TCP connection could not be made, in Russian, for the status bar and the terminal:
// "в соединении отказано (по этому адресу и порту никто не принимает соединений)".
namespace SocketErrorText {
QString connectFailed(QAbstractSocket::SocketError error);
} // namespace SocketErrorText
