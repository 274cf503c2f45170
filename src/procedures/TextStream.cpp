#include "TextStream.h"

#include "firmware/FirmwareImage.h"

TextStream::TextStream(const FirmwareImage& image) : image_(image) {
    for (qsizetype i = 0; i < image.size(); ++i) {
        size_ += image.line(i).size() + 2;
    }
}

char TextStream::nextByte() {
    const QByteArrayView line = image_.line(line_);
    char c = '\n';
    if (offset_ < line.size()) {
        c = line.at(offset_);
    } else if (offset_ == line.size()) {
        c = '\r';
    }
    ++position_;
    if (++offset_ == line.size() + 2) {
        ++line_;
        offset_ = 0;
    }
    return c;
}

void TextStream::readPiece(QByteArray& piece, TextCrc& crc) {
    piece.resize(0);
    const std::int64_t left = size_ - position_;
    const int n = left < kPieceLimit ? int(left) : kPieceLimit;
    for (int i = 0; i < n; ++i) {
        const char c = nextByte();
        if (c == '\n') {
            break;
        }
        if (c == '\r') {
            continue;
        }
        piece.append(c);
        crc.add(std::uint8_t(c));
    }
}
