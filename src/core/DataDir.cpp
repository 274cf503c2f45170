#include "DataDir.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

QString DataDir::resolve(const QString& overrideDir) {
    if (!overrideDir.isEmpty()) {
        QDir().mkpath(overrideDir);
        return QDir(overrideDir).absolutePath();
    }
    const QString exeDir = QCoreApplication::applicationDirPath();
    if (!exeDir.isEmpty() && QFileInfo(exeDir).isWritable()) {
        return exeDir;
    }
    QString userDir = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
    if (userDir.isEmpty()) {
        userDir = QDir::home().filePath(QStringLiteral(".config/velkor"));
    }
    QDir().mkpath(userDir);
    return userDir;
}
