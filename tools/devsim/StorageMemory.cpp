#include "StorageMemory.h"

#include <QSaveFile>
#include <algorithm>
#include <cstring>

namespace devsim {

namespace {

// Walks `count` bytes from a linear offset page by page: visit(page, offset on the page, bytes
// done before this piece, the piece's size).
template <typename Visit>
void forEachPiece(qsizetype pageSize, qsizetype offset, qsizetype count, Visit visit) {
    for (qsizetype done = 0; done < count;) {
        const qsizetype at = offset + done;
        const qsizetype onPage = at % pageSize;
        const qsizetype part = std::min(count - done, pageSize - onPage);
        visit(int(at / pageSize), onPage, done, part);
        done += part;
    }
}

} // namespace

StorageMemory::StorageMemory(int pages, int pageSize) : pages_(pages), pageSize_(pageSize) {}

QByteArray StorageMemory::read(qsizetype offset, qsizetype count) const {
    if (offset < 0 || offset >= size() || count <= 0) {
        return {};
    }
    QByteArray bytes(std::min(count, size() - offset), kErased);
    forEachPiece(pageSize_, offset, bytes.size(),
                 [&](int page, qsizetype onPage, qsizetype done, qsizetype part) {
                     if (const auto held = held_.find(page); held != held_.end()) {
                         std::memcpy(bytes.data() + done, held->second.constData() + onPage,
                                     size_t(part));
                     }
                 });
    return bytes;
}

void StorageMemory::store(qsizetype offset, const char* data, qsizetype count) {
    forEachPiece(pageSize_, offset, count,
                 [&](int page, qsizetype onPage, qsizetype done, qsizetype part) {
                     QByteArray& held = held_[page];
                     if (held.isEmpty()) {
                         held = QByteArray(pageSize_, kErased);
                     }
                     std::memcpy(held.data() + onPage, data + done, size_t(part));
                 });
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
    const QByteArray erasedPage(pageSize_, kErased);
    if (file->exists()) {
        if (!file->open(QIODevice::ReadWrite)) {
            *error = QStringLiteral("cannot open the storage file %1: %2")
                         .arg(path, file->errorString());
            return false;
        }
        if (file->size() != size()) {
            *error =
                QStringLiteral("the storage file %1 holds %2 bytes, not %3 (%4 pages of %5 bytes)")
                    .arg(path)
                    .arg(file->size())
                    .arg(size())
                    .arg(pages_)
                    .arg(pageSize_);
            return false;
        }
        // Only the pages that are not erased take memory.
        std::map<int, QByteArray> loaded;
        for (int page = 0; page < pages_; ++page) {
            const QByteArray bytes = file->read(pageSize_);
            if (bytes.size() != pageSize_) {
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
            written = fresh.write(erasedPage) == pageSize_;
        }
        if (!written || !fresh.commit() || !file->open(QIODevice::ReadWrite)) {
            *error = QStringLiteral("cannot create the storage file %1").arg(path);
            return false;
        }
        // A file created for a memory already written holds what was written.
        for (const auto& [page, bytes] : held_) {
            file->seek(qsizetype(page) * pageSize_);
            file->write(bytes);
        }
        file->flush();
    }
    file_ = std::move(file);
    return true;
}

} // namespace devsim
