#include "StorageMemory.h"

#include <QSaveFile>

namespace devsim {

StorageMemory::StorageMemory(int pages)
    : pages_(pages), bytes_(qsizetype(pages) * kPageSize, '\xFF') {}

QByteArray StorageMemory::read(qsizetype offset, qsizetype count) const {
    if (offset < 0 || offset >= bytes_.size() || count <= 0) {
        return {};
    }
    return bytes_.mid(offset, std::min(count, bytes_.size() - offset));
}

bool StorageMemory::write(qsizetype offset, const QByteArray& bytes) {
    if (offset < 0 || offset + bytes.size() > bytes_.size()) {
        return false;
    }
    bytes_.replace(offset, bytes.size(), bytes);
    if (file_) {
        const bool stored =
            file_->seek(offset) && file_->write(bytes) == bytes.size() && file_->flush();
        if (!stored) {
            qWarning("velkor-devsim: storage file write failed: %s",
                     qPrintable(file_->errorString()));
        }
    }
    return true;
}

bool StorageMemory::attachFile(const QString& path, QString* error) {
    auto file = std::make_unique<QFile>(path);
    if (file->exists()) {
        if (!file->open(QIODevice::ReadWrite)) {
            *error = QStringLiteral("cannot open the storage file %1: %2")
                         .arg(path, file->errorString());
            return false;
        }
        if (file->size() != bytes_.size()) {
            *error = QStringLiteral("the storage file %1 holds %2 bytes, not %3 (%4 pages)")
                         .arg(path)
                         .arg(file->size())
                         .arg(bytes_.size())
                         .arg(pages_);
            return false;
        }
        const QByteArray content = file->readAll();
        if (content.size() != bytes_.size()) {
            *error = QStringLiteral("cannot read the storage file %1").arg(path);
            return false;
        }
        bytes_ = content;
    } else {
        QSaveFile fresh(path);
        if (!fresh.open(QIODevice::WriteOnly) || fresh.write(bytes_) != bytes_.size() ||
            !fresh.commit() || !file->open(QIODevice::ReadWrite)) {
            *error = QStringLiteral("cannot create the storage file %1").arg(path);
            return false;
        }
    }
    file_ = std::move(file);
    return true;
}

} // namespace devsim
