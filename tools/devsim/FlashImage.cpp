#include "FlashImage.h"

#include "core/SafeFile.h"

namespace devsim {

// Chunk by chunk: a record's bytes mostly lie in one.
void FlashImage::write(std::uint32_t address, const QByteArray& bytes) {
    qsizetype i = 0;
    while (i < bytes.size()) {
        const std::uint32_t at = address + std::uint32_t(i); // wraps at the top like the bus
        Chunk& chunk = chunks_[at - at % kChunk];
        char* stored = chunk.bytes.data();
        for (std::uint32_t offset = at % kChunk; offset < kChunk && i < bytes.size(); ++offset) {
            stored[offset] = bytes[i++];
            chunk.written.set(offset);
        }
    }
}

QList<FlashImage::Run> FlashImage::runs() const {
    QList<Run> result;
    for (const auto& [base, chunk] : chunks_) {
        for (std::uint32_t offset = 0; offset < kChunk; ++offset) {
            if (!chunk.written.test(offset)) {
                continue;
            }
            const std::uint32_t at = base + offset;
            const bool continues =
                !result.isEmpty() && result.back().address + result.back().bytes.size() == at;
            if (!continues) {
                result.append(Run{at, {}});
            }
            result.back().bytes.append(chunk.bytes[offset]);
        }
    }
    return result;
}

QByteArray FlashImage::toText() const {
    QByteArray text;
    for (const Run& run : runs()) {
        text += QByteArray::number(run.address, 16).toUpper().rightJustified(8, '0');
        text += ' ';
        text += run.bytes.toHex().toUpper();
        text += '\n';
    }
    return text;
}

bool FlashImage::save(const QString& path, QString* error) const {
    return writeFileSafely(path, toText(), error);
}

} // namespace devsim
