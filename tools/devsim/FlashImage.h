#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <bitset>
#include <cstdint>
#include <map>

namespace devsim {

// The controller's simulated flash: bytes stored by address, anywhere in the 32-bit space.
// Bytes never written are absent, so an image compares exactly with the data of a firmware file.
class FlashImage {
public:
    struct Run {
        std::uint32_t address = 0;
        QByteArray bytes;
    };

    void erase() { chunks_.clear(); }
    void write(std::uint32_t address, const QByteArray& bytes);
    bool isEmpty() const { return chunks_.empty(); }
    // Runs of consecutive written bytes, ascending.
    QList<Run> runs() const;
    // One line per run: 8 upper-case hex digits of the address, a blank, the bytes in hex, LF.
    QByteArray toText() const;
    // Writes toText() to path all at once (a failed write leaves the old file); false on error.
    bool save(const QString& path, QString* error) const;

private:
    static constexpr std::uint32_t kChunk = 256;
    struct Chunk {
        QByteArray bytes = QByteArray(kChunk, '\xFF');
        std::bitset<kChunk> written;
    };
    std::map<std::uint32_t, Chunk> chunks_;
};

} // namespace devsim
