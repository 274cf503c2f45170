#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <memory>

namespace devsim {

// The controller's storage memory: pages of 528 bytes, erased to FF. Position = page and address
// on the page; a linear offset page * 528 + address runs across page ends. With a file attached
// every write goes straight through to it, so the content survives a restart of the simulator.
class StorageMemory {
public:
    static constexpr int kPageSize = 528;

    explicit StorageMemory(int pages);

    int pages() const { return pages_; }
    qsizetype size() const { return bytes_.size(); }
    // Bytes from a linear offset, as many as the memory holds up to count.
    QByteArray read(qsizetype offset, qsizetype count) const;
    // Stores bytes at a linear offset; false (nothing stored) when they do not fit.
    bool write(qsizetype offset, const QByteArray& bytes);

    // Uses path as the backing file: loads it when it exists (it must hold exactly the memory's
    // size), otherwise creates it filled with FF. False with a message on failure.
    bool attachFile(const QString& path, QString* error);

private:
    int pages_;
    QByteArray bytes_;
    std::unique_ptr<QFile> file_;
};

} // namespace devsim
