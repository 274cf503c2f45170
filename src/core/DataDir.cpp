#include "DataDir.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#ifdef Q_OS_UNIX
#include <unistd.h>
#endif

namespace {

// Where package managers and installers put programs.
const char* const kInstallPrefixes[] = {"/usr", "/opt", "/bin", "/sbin", "/snap", "/nix", "/app"};

bool isInstallFolder(const QString& canonicalDir) {
    for (const char* prefix : kInstallPrefixes) {
        const QString p = QString::fromLatin1(prefix);
        if (canonicalDir == p || canonicalDir.startsWith(p + QLatin1Char('/'))) {
            return true;
        }
    }
    return QFileInfo(canonicalDir).fileName() == QStringLiteral("bin");
}

bool belongsToCurrentUser(const QFileInfo& info) {
#ifdef Q_OS_UNIX
    return info.ownerId() == ::geteuid();
#else
    Q_UNUSED(info);
    return true;
#endif
}

QString perUserFolder() {
    QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    if (config.isEmpty()) {
        config = QDir::home().filePath(QStringLiteral(".config"));
    }
    return QDir(config).filePath(QStringLiteral("velkor"));
}

} // namespace

bool DataDir::isOwnFolder(const QString& dir) {
    const QString canonical = dir.isEmpty() ? QString() : QFileInfo(dir).canonicalFilePath();
    if (canonical.isEmpty() || isInstallFolder(canonical)) {
        return false;
    }
    const QFileInfo info(canonical);
    return info.isDir() && info.isWritable() && belongsToCurrentUser(info);
}

QString DataDir::locate(const QString& overrideDir) {
    if (!overrideDir.isEmpty()) {
        return QDir(overrideDir).absolutePath();
    }
    const QString exeDir = QCoreApplication::applicationDirPath();
    return isOwnFolder(exeDir) ? exeDir : perUserFolder();
}

QString DataDir::resolve(const QString& overrideDir) {
    const QString dir = locate(overrideDir);
    QDir().mkpath(dir);
    return dir;
}

QString DataDir::helpText() {
    return QStringLiteral(
        "Data folder (settings, the journal velkor.jnl, the terminal logs): the program's own\n"
        "folder when it was unpacked into a folder of its own (or runs from the build tree);\n"
        "for an installed program (under /usr, /opt, /snap, /nix, or in a bin folder) and\n"
        "whenever its folder is not the user's own and writable, $XDG_CONFIG_HOME/velkor\n"
        "(~/.config/velkor). --data-dir DIR overrides both. 'velkor-cli --version' prints it.\n");
}
