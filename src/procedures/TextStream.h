#pragma once

#include "TextCrc.h"

#include <QByteArray>
#include <cstdint>

class FirmwareImage;

// The firmware text as the storage upload reads it: the image's lines one after another, each
// followed by CR LF, read from the start one byte at a time. The bytes are taken from the
// image's own lines, so nothing is copied and reading costs no allocation per byte.
class TextStream {
public:
    // Pieces are at most this many bytes of the stream (line ends included) long.
    static constexpr int kPieceLimit = 150;

    explicit TextStream(const FirmwareImage& image);

    std::int64_t size() const { return size_; }
    std::int64_t position() const { return position_; }
    bool atEnd() const { return position_ >= size_; }

    // Reads the next piece into piece (replacing its content): up to kPieceLimit bytes; LF ends
    // the piece early and is not kept; CR is dropped. Every kept byte goes into crc. A line end
    // left behind by the limit gives an empty piece at the next read.
    void readPiece(QByteArray& piece, TextCrc& crc);

private:
    char nextByte();

    const FirmwareImage& image_;
    std::int64_t size_ = 0;
    std::int64_t position_ = 0;
    qsizetype line_ = 0;
    qsizetype offset_ = 0; // within the current line and its CR LF
};
