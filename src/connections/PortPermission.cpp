#include "PortPermission.h"

#ifdef Q_OS_UNIX
#include <grp.h>
#include <sys/stat.h>
#endif

QString PortPermission::advice(const QString& device) {
#ifdef Q_OS_UNIX
    QString groupName = QStringLiteral("dialout");
    struct stat info {};
    if (::stat(device.toLocal8Bit().constData(), &info) == 0) {
        if (const struct group* entry = ::getgrgid(info.st_gid);
            entry != nullptr && info.st_gid != 0) {
            groupName = QString::fromLocal8Bit(entry->gr_name);
        }
    }
    return QStringLiteral("Нет прав на доступ к порту %1: пользователь должен входить в группу "
                          "%2 (sudo usermod -a -G %2 <пользователь>, затем войти в систему "
                          "заново).")
        .arg(device, groupName);
#else
    Q_UNUSED(device);
    return QString();
#endif
}
