#include "SocketErrorText.h"

QString SocketErrorText::connectFailed(QAbstractSocket::SocketError error) {
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError:
        return QStringLiteral(
            "в соединении отказано (по этому адресу и порту никто не принимает соединений)");
    case QAbstractSocket::HostNotFoundError:
        return QStringLiteral("адрес не найден");
    case QAbstractSocket::SocketTimeoutError:
        return QStringLiteral("нет ответа");
    case QAbstractSocket::NetworkError:
        return QStringLiteral("сеть недоступна");
    case QAbstractSocket::RemoteHostClosedError:
        return QStringLiteral("соединение закрыто другой стороной");
    case QAbstractSocket::SocketAccessError:
        return QStringLiteral("нет прав на соединение");
    default:
        return QStringLiteral("ошибка сети %1").arg(int(error));
    }
}
