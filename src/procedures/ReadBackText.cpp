#include "ReadBackText.h"

namespace {

bool takenCharacter(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || c == 'S';
}

} // namespace

ReadBackText::Next ReadBackText::take(const Answer& answer) {
    if (answer.errorLine) {
        return Next::GiveUp; // the controller refused the read: nothing in it is text
    }
    // A whole answer is the read's, short or not (the taking rules judge it); silence, damage
    // or an answer still arriving is not.
    if (!answer.whole()) {
        // Taking what came would stitch lines across the gap.
        return ++failedReads_ >= kReadAttempts ? Next::GiveUp : Next::ReadAgain;
    }
    failedReads_ = 0;
    const QByteArrayView data = QByteArrayView(answer.text).sliced(answer.dataFrom);
    if (data.size() <= 2) {
        return Next::Stop;
    }
    const std::uint32_t before = crc_.byteCount;
    takeFrom(data);
    barren_ = crc_.byteCount != before ? 0 : barren_ + 1;
    return barren_ >= kBarrenReadLimit ? Next::Stop : Next::ReadOn;
}

// Takes the characters of one read answer, its data only (after its echo or a prompt). A
// control character (the end of the controller's line, among others) or any character that
// cannot be in an S-record ends the answer; an "S" also ends the line being built. The last
// character is taken too when it is data: a controller that ends no lines sends none after it.
void ReadBackText::takeFrom(QByteArrayView answer) {
    for (qsizetype i = 0; i < answer.size() && crc_.byteCount < length_; ++i) {
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

void ReadBackText::restart() {
    release();
    crc_ = TextCrc{};
    barren_ = 0;
}
