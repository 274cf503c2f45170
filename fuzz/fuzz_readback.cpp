// Reading the stored firmware back: the rules that judge each text read's answer and take its
// characters into S-record lines. The input's first two bytes give the stored length; the rest,
// cut at each 0xFF byte, are the answers to the reads in order. An answer's first byte says how
// it came (lost, damaged, or in whole frames, then judged as the exchange judges it); when the
// answers run out the controller sends an empty line, which ends the read.
#include "FuzzSupport.h"
#include "core/Crc16.h"
#include "procedures/CommandTable.h"
#include "procedures/ReadBackProcedure.h"
#include "procedures/ReadBackText.h"

#include <algorithm>

namespace {

Answer answerOf(const QByteArray& piece, const AnswerExpectation& awaited) {
    Answer answer;
    if (piece.isEmpty()) {
        return answer;
    }
    answer.text = piece.mid(1);
    switch (std::uint8_t(piece.at(0)) % 3) {
    case 0:
        answer.text.clear();
        answer.status = Answer::Status::Silent;
        break;
    case 1:
        answer.status = Answer::Status::Damaged;
        break;
    default: {
        AnswerExpectation::Scan scan;
        answer.status = Answer::judged(awaited, answer.text, scan, {1000, 500, AnswerExpectation::LineEnds::Seen});
        answer.errorLine = answer.status == Answer::Status::Refused;
        answer.dataFrom = std::clamp<qsizetype>(scan.ownStart, 0, answer.text.size());
    }
    }
    return answer;
}

// The lines hold exactly the characters taken, each line after the first starts a record.
void checkTaken(const ReadBackText& text, std::uint32_t length) {
    FUZZ_CHECK(text.taken() <= length);
    const QByteArray all = text.text();
    FUZZ_CHECK(all.size() == qsizetype(text.taken()));
    FUZZ_CHECK(Crc16::compute(all) == text.crc().value);
}

void checkLines(ReadBackText& text) {
    text.endLine();
    FirmwareImage& lines = text.lines();
    for (qsizetype i = 1; i < lines.size(); ++i) {
        FUZZ_CHECK(lines.line(i).startsWith('S'));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) {
        return 0;
    }
    static const AnswerExpectation awaited =
        CommandTable::pageRead(ReadBackProcedure::kTextReadCount).awaited;
    const std::uint32_t length = std::uint32_t(data[0]) | std::uint32_t(data[1]) << 8;
    QByteArrayList answers = fuzzBytes(data + 2, size - 2).split('\xFF');
    answers.append("\x02\r\n");
    ReadBackText text(length);
    qsizetype read = 0;
    ReadBackText::Next next = ReadBackText::Next::ReadOn;
    while (!text.complete() && read < answers.size()) {
        next = text.take(answerOf(answers.at(read++), awaited));
        if (next == ReadBackText::Next::GiveUp || next == ReadBackText::Next::Stop) {
            break;
        }
    }
    // The empty line at the end stops every read the answers left going.
    FUZZ_CHECK(text.complete() || next == ReadBackText::Next::GiveUp ||
               next == ReadBackText::Next::Stop);
    checkTaken(text, length);
    checkLines(text);
    return 0;
}
