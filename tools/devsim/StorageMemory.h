#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <map>
#include <memory>

namespace devsim {

// The controller's storage memory: pages of 528 bytes (or another size), erased to FF. Position =
// page and address on the page; a linear offset page * page size + address runs across page ends. A
// page takes memory only once something is written into it (a page never written reads as erased),
// so a simulator with many controllers holds only what they were sent. With a file attached every
// write goes straight through to it, so the content survives a restart of the simulator.
class StorageMemory {
public:
    static constexpr int kDefaultPageSize = 528;
    static constexpr char kErased = '\xFF';

    explicit StorageMemory(int pages, int pageSize = kDefaultPageSize);

    int pages() const { return pages_; }
    int pageSize() const { return pageSize_; }
    qsizetype size() const { return qsizetype(pages_) * pageSize_; }
    // Bytes from a linear offset, as many as the memory holds up to count.
    QByteArray read(qsizetype offset, qsizetype count) const;
    // Stores bytes at a linear offset; false (nothing stored) when they do not fit.
    bool write(qsizetype offset, const QByteArray& bytes);
    // The pages that take memory: those written, or read from the file not erased.
    qsizetype pagesHeld() const { return qsizetype(held_.size()); }

    // Uses path as the backing file: loads it when it exists (it must hold exactly the memory's
    // size), otherwise creates it filled with FF. False with a message on failure.
    bool attachFile(const QString& path, QString* error);

private:
    // Copies count bytes into the memory at a linear offset that fits, page by page.
    void store(qsizetype offset, const char* data, qsizetype count);

    int pages_;
    int pageSize_;
    std::map<int, QByteArray> held_; // page number -> its pageSize_ bytes
    std::unique_ptr<QFile> file_;
};

} // namespace devsim
