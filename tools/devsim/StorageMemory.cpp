#include "StorageMemory.h"

#include <QSaveFile>
#include <algorithm>
#include <cstring>

namespace devsim {

StorageMemory::StorageMemory(int pages) : pages_(pages) {}

QByteArray StorageMemory::read(qsizetype offset, qsizetype count) const {
    if (offset < 0 || offset >= size() || count <= 0) {
        return {};
    }
    QByteArray bytes(std::min(count, size() - offset), kErased);
    for (qsizetype done = 0; done < bytes.size();) {
        const qsizetype at = offset + done;
        const qsizetype onPage = at % kPageSize;
        const qsizetype part = std::min(bytes.size() - done, kPageSize - onPage);
        if (const auto page = held_.find(int(at / kPageSize)); page != held_.end()) {
            std::memcpy(bytes.data() + done, page->second.constData() + onPage, size_t(part));
        }
        done += part;
    }
    return bytes;
}

void StorageMemory::store(qsizetype offset, const char* data, qsizetype count) {
    for (qsizetype done = 0; done < count;) {
        const qsizetype at = offset + done;
        const qsizetype onPage = at % kPageSize;
        const qsizetype part = std::min(count - done, kPageSize - onPage);
        QByteArray& page = held_[int(at / kPageSize)];
        if (page.isEmpty()) {
            page = QByteArray(kPageSize, kErased);
        }
        std::memcpy(page.data() + onPage, data + done, size_t(part));
        done += part;
    }
}

bool StorageMemory::write(qsizetype offset, const QByteArray& bytes) {
    if (offset < 0 || offset + bytes.size() > size()) {
        return false;
    }
    store(offset, bytes.constData(), bytes.size());
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
    const QByteArray erasedPage(kPageSize, kErased);
    if (file->exists()) {
        if (!file->open(QIODevice::ReadWrite)) {
            *error = QStringLiteral("cannot open the storage file %1: %2")
                         .arg(path, file->errorString());
            return false;
        }
        if (file->size() != size()) {
            *error = QStringLiteral("the storage file %1 holds %2 bytes, not %3 (%4 pages)")
                         .arg(path)
                         .arg(file->size())
                         .arg(size())
                         .arg(pages_);
            return false;
        }
        // Only the pages that are not erased take memory.
        std::map<int, QByteArray> loaded;
        for (int page = 0; page < pages_; ++page) {
            const QByteArray bytes = file->read(kPageSize);
            if (bytes.size() != kPageSize) {
                *error = QStringLiteral("cannot read the storage file %1").arg(path);
                return false;
            }
            if (bytes != erasedPage) {
                loaded.emplace(page, bytes);
            }
        }
        held_ = std::move(loaded);
    } else {
        QSaveFile fresh(path);
        bool written = fresh.open(QIODevice::WriteOnly);
        for (int page = 0; written && page < pages_; ++page) {
            written = fresh.write(erasedPage) == kPageSize;
        }
        if (!written || !fresh.commit() || !file->open(QIODevice::ReadWrite)) {
            *error = QStringLiteral("cannot create the storage file %1").arg(path);
            return false;
        }
        // A file created for a memory already written holds what was written.
        for (const auto& [page, bytes] : held_) {
            file->seek(qsizetype(page) * kPageSize);
            file->write(bytes);
        }
        file->flush();
    }
    file_ = std::move(file);
    return true;
}

} // namespace devsim
