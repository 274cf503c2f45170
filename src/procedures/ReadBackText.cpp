#include "ReadBackText.h"

namespace {

bool takenCharacter(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || c == 'S';
}

} // namespace

ReadBackText::Next ReadBackText::take(const Answer& answer) {
    // A line the controller ended is its answer, short or not (the taking rules judge it);
    // silence, damage or a part without its line end is not.
    const bool ended =
        answer.whole() || (answer.status == Answer::Status::Partial && answer.text.contains('\n'));
    if (!ended) {
        // Taking what came would stitch lines across the gap.
        return ++failedReads_ >= kReadAttempts ? Next::GiveUp : Next::ReadAgain;
    }
    failedReads_ = 0;
    if (answer.text.size() <= 2) {
        return Next::Stop;
    }
    const std::uint32_t before = crc_.byteCount;
    takeFrom(answer.text);
    const bool yielded = crc_.byteCount != before;
    // A line that yields nothing may be another command's late answer that came in place of
    // this read's (its own then comes late, or not at all): the place is read once more before
    // the line counts as text that is no S-record.
    if (!yielded && !rereadingBarren_) {
        rereadingBarren_ = true;
        return Next::ReadAgain;
    }
    rereadingBarren_ = false;
    barren_ = yielded ? 0 : barren_ + 1;
    return barren_ >= kBarrenReadLimit ? Next::Stop : Next::ReadOn;
}

// Takes the characters of one read answer up to its last one (the end of the controller's
// line, never examined). A control character or any character that cannot be in an S-record
// ends the answer; an "S" also ends the line being built.
void ReadBackText::takeFrom(const QByteArray& answer) {
    const qsizetype last = answer.size() - 1;
    for (qsizetype i = 0; i < last && crc_.byteCount < length_; ++i) {
        const char c = answer[i];
        if (std::uint8_t(c) < 14) {
            return;
        }
        if (c == 'S' && !building_.isEmpty()) {
            endLine();
        }
        if (!takenCharacter(c)) {
            return;
        }
        building_.append(c);
        crc_.add(std::uint8_t(c));
    }
}

void ReadBackText::endLine() {
    if (!building_.isEmpty()) {
        lines_.appendLine(building_);
        building_.resize(0);
    }
}

QByteArray ReadBackText::text() const {
    QByteArray text;
    text.reserve(qsizetype(crc_.byteCount));
    for (qsizetype i = 0; i < lines_.size(); ++i) {
        text += lines_.line(i).toByteArray();
    }
    return text + building_;
}

void ReadBackText::release() {
    lines_.release();
    building_.resize(0);
}
