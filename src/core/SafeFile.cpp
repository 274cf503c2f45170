#include "SafeFile.h"

#include "LoaderError.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

QString fileWriteError(const QString& path, const QString& reason) {
    return QStringLiteral("Не удается записать файл \"%1\": %2. Файл оставлен без изменений.")
        .arg(path, reason);
}

QString writeTarget(const QString& path) {
    constexpr int kMostLinks = 40;
    QFileInfo info(path);
    for (int links = 0; links < kMostLinks && info.isSymLink(); ++links) {
        info.setFile(info.symLinkTarget());
    }
    return info.isSymLink() ? path : info.filePath();
}

bool isSpecialFile(const QString& path) {
    const QFileInfo info(path);
    return info.exists() && !info.isFile() && !info.isDir();
}

SafeFileWriter::SafeFileWriter(const QString& path) : path_(path), direct_(isSpecialFile(path)) {
    if (path.isEmpty()) {
        throw LoaderError(fileWriteError(path, QStringLiteral("не указано имя файла")));
    }
    if (direct_) {
        file_ = std::make_unique<QFile>(path);
    } else {
        file_ = std::make_unique<QSaveFile>(writeTarget(path));
    }
    if (!file_->open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        throw LoaderError(fileWriteError(path_, file_->errorString()));
    }
}

void SafeFileWriter::write(QByteArrayView bytes) {
    // A short write is retried with the rest, so a real failure shows with its reason.
    for (qsizetype done = 0; done < bytes.size();) {
        const qint64 written = file_->write(bytes.data() + done, bytes.size() - done);
        if (written <= 0) {
            fail(file_->errorString());
        }
        done += qsizetype(written);
    }
}

void SafeFileWriter::commit() {
    if (direct_) {
        file_->close();
        return;
    }
    auto* save = static_cast<QSaveFile*>(file_.get());
    if (!save->commit()) {
        fail(save->errorString());
    }
}

void SafeFileWriter::fail(const QString& reason) {
    if (!direct_) {
        static_cast<QSaveFile*>(file_.get())->cancelWriting();
    }
    throw LoaderError(fileWriteError(path_, reason));
}

bool writeFileSafely(const QString& path, QByteArrayView bytes, QString* error) {
    try {
        SafeFileWriter writer(path);
        writer.write(bytes);
        writer.commit();
        return true;
    } catch (const LoaderError& e) {
        if (error != nullptr) {
            *error = e.text();
        }
        return false;
    }
}
