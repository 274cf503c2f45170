#pragma once

#include "TextCrc.h"
#include "core/Answer.h"
#include "firmware/FirmwareImage.h"

#include <QByteArray>
#include <cstdint>

// The firmware text of a read-back as it is taken from the answers to the controller's text
// reads: characters up to the stored length, cut into S-record lines at each "S", and their
// checksum. After each answer it says whether to read on, to read the same place again, or to
// stop. It asks the controller nothing itself, so its rules run on any answers without one.
class ReadBackText {
public:
    // Reads that yield no character in a row after which the read stops: the text beyond them
    // is not S-record text, and the controller would otherwise be read without end.
    static constexpr int kBarrenReadLimit = 8;
    // Reads in a row that may come back lost, cut or damaged: each is read again from the
    // first character not yet taken.
    static constexpr int kReadAttempts = 10;

    enum class Next {
        ReadOn,    // the answer was taken: read the next characters
        ReadAgain, // lost, cut or damaged: read again from the first character not taken
        GiveUp,    // as many reads in a row failed as may: the read fails with this answer
        Stop,      // the stored text ended (an empty line, or reads that yield nothing)
    };

    explicit ReadBackText(std::uint32_t length = 0) : length_(length) {}

    // Applies the rules to the answer of one read.
    Next take(const Answer& answer);
    bool complete() const { return crc_.byteCount >= length_; }
    std::uint32_t taken() const { return crc_.byteCount; }
    const TextCrc& crc() const { return crc_; }

    // Ends the line being built, so that the lines hold every character taken.
    void endLine();
    FirmwareImage& lines() { return lines_; }
    // Every character taken, in order, the line being built included.
    QByteArray text() const;
    // Gives the memory of the lines back.
    void release();
    // Forgets everything taken: the text is read again from its start.
    void restart();

private:
    void takeFrom(QByteArrayView answer);

    std::uint32_t length_;
    TextCrc crc_;
    FirmwareImage lines_;
    QByteArray building_;
    int barren_ = 0;
    int failedReads_ = 0;
};
