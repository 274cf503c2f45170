#include "FirmwareImage.h"

#include "HexPair.h"
#include "core/FileText.h"
#include "core/LoaderError.h"
#include "core/SafeFile.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace {

// Size of the pieces written at a time when saving.
constexpr qsizetype kWriteChunk = 1 << 20;

// Whether the text after its last line break is empty, so that what follows begins a new line.
bool endsWithBreak(const QByteArray& text) {
    return text.isEmpty() || text.back() == '\n' || text.back() == '\r';
}

// Position of the first byte pair after "S", the type and the count.
constexpr qsizetype kFirstPair = 4;

// a-f to A-F, any other character as it is; without a branch, so a record's loop vectorises.
void upperCaseDigit(char& c) {
    const auto u = static_cast<unsigned char>(c);
    c = char(u - (static_cast<unsigned char>(u - 'a') < 6 ? 0x20 : 0));
}

// Puts the hex digits of a record line in upper case: its count and the pairs the count
// announces. The controller's read-back takes upper-case digits only, so a file written in lower
// case is sent and stored as the same values in the usual form. Text after the record, and a
// line that is no record, stay as they are.
void upperCaseRecordDigits(char* line, qsizetype length) {
    if (length < kFirstPair || line[0] != 'S' || line[1] < '0' || line[1] > '9') {
        return;
    }
    upperCaseDigit(line[2]);
    upperCaseDigit(line[3]);
    const qsizetype pairs = 2 * qsizetype(HexPairValue(line[2], line[3]));
    std::for_each(line + kFirstPair, line + std::min(length, kFirstPair + pairs), upperCaseDigit);
}

// Whether any byte is "a" (0x61) or above, eight bytes at a time: a file of upper-case records
// has none, and then its digits need no pass of their own. For a byte below 0x80, adding 0x1F
// sets its top bit exactly from 0x61 on, and never carries into the next byte.
bool hasByteFromLowerA(const char* data, qsizetype n) {
    constexpr std::uint64_t kLow7 = 0x7F7F7F7F7F7F7F7FULL;
    constexpr std::uint64_t kToTop = 0x1F1F1F1F1F1F1F1FULL;
    constexpr std::uint64_t kTop = 0x8080808080808080ULL;
    qsizetype i = 0;
    for (; i + 8 <= n; i += 8) {
        std::uint64_t w = 0;
        std::memcpy(&w, data + i, sizeof w);
        if (((w | ((w & kLow7) + kToTop)) & kTop) != 0) {
            return true;
        }
    }
    for (; i < n; ++i) {
        if (static_cast<unsigned char>(data[i]) >= 'a') {
            return true;
        }
    }
    return false;
}

} // namespace

QString FirmwareImage::tooManyLines() {
    return QStringLiteral("в файле больше %1 строк, больше любой прошивки контроллера")
        .arg(kMaxLines);
}

FirmwareImage FirmwareImage::load(const QString& path) {
    try {
        return fromText(readFileText(path));
    } catch (const FileTooLargeError& e) {
        if (e.text().contains(path)) {
            throw;
        }
        throw FileTooLargeError(
            QStringLiteral("Не удается открыть файл \"%1\": %2").arg(path, e.text()));
    }
}

FirmwareImage FirmwareImage::fromText(QByteArray text) {
    FirmwareImage image;
    image.buffer_ = std::move(text);
    const qsizetype nul = image.buffer_.indexOf('\0');
    if (nul >= 0) {
        image.buffer_.truncate(nul);
    }
    image.split();
    if (hasByteFromLowerA(image.buffer_.constData(), image.buffer_.size())) {
        char* data = image.buffer_.data();
        for (const Span& s : image.lines_) {
            upperCaseRecordDigits(data + s.start, s.length);
        }
    }
    if (nul >= 0) {
        image.nulLine_ = endsWithBreak(image.buffer_) ? image.size() : image.size() - 1;
    }
    return image;
}

void FirmwareImage::split() {
    const char* data = buffer_.constData();
    const qsizetype n = buffer_.size();
    lines_.clear();
    const auto breaks = qsizetype(std::count(data, data + n, '\n'));
    lines_.reserve(std::size_t(std::min(breaks, kMaxLines) + 1));
    qsizetype start = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const char c = data[i];
        if (c != '\n' && c != '\r') {
            continue;
        }
        if (size() == kMaxLines) {
            release();
            throw FileTooLargeError(tooManyLines());
        }
        lines_.push_back({start, i - start});
        if (c == '\r' && i + 1 < n && data[i + 1] == '\n') {
            ++i;
        }
        start = i + 1;
    }
    // Text after the last break is a line; a break at the very end adds none.
    if (start < n) {
        lines_.push_back({start, n - start});
    }
}

QList<QByteArray> FirmwareImage::lines() const {
    QList<QByteArray> result;
    result.reserve(size());
    for (qsizetype i = 0; i < size(); ++i) {
        result.append(line(i).toByteArray());
    }
    return result;
}

FirmwareImage::Span FirmwareImage::store(const QByteArray& line) {
    const Span span{buffer_.size(), line.size()};
    buffer_.append(line);
    return span;
}

void FirmwareImage::replaceLine(qsizetype index, const QList<QByteArray>& replacement) {
    if (replacement.isEmpty()) {
        removeLines({index});
        return;
    }
    std::vector<Span> spans;
    spans.reserve(std::size_t(replacement.size()));
    for (const QByteArray& text : replacement) {
        spans.push_back(store(text));
    }
    lines_[std::size_t(index)] = spans.front();
    lines_.insert(lines_.begin() + index + 1, spans.begin() + 1, spans.end());
}

void FirmwareImage::appendLine(const QByteArray& line) {
    lines_.push_back(store(line));
}

void FirmwareImage::removeLines(const std::vector<qsizetype>& indexes) {
    std::size_t kept = 0;
    std::size_t next = 0;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        if (next < indexes.size() && qsizetype(i) == indexes[next]) {
            ++next;
            continue;
        }
        lines_[kept++] = lines_[i];
    }
    lines_.resize(kept);
}

void FirmwareImage::save(const QString& path) const {
    if (nulLine_ >= 0) {
        throw LoaderError(fileWriteError(
            path, QStringLiteral("в нем нулевой байт в строке %1, строки после него были бы "
                                 "потеряны")
                      .arg(nulLine_)));
    }
    SafeFileWriter file(path);
    QByteArray chunk;
    chunk.reserve(kWriteChunk + 4096);
    for (const Span& s : lines_) {
        chunk.append(buffer_.constData() + s.start, s.length).append("\r\n", 2);
        if (chunk.size() >= kWriteChunk) {
            file.write(chunk);
            chunk.resize(0);
        }
    }
    file.write(chunk);
    file.commit();
}

void FirmwareImage::release() {
    lines_ = {};
    buffer_ = {};
}
