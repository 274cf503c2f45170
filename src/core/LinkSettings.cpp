#include "LinkSettings.h"

quint16 LinkSettings::portNumber(const QString& text) {
    bool ok = false;
    const uint port = text.trimmed().toUInt(&ok);
    return ok && port <= 65535 ? quint16(port) : 0;
}
