#include "AwaitedAnswers.h"

namespace AwaitedAnswers {

AnswerExpectation interpreter(const QByteArray& command) {
    const qsizetype blank = command.indexOf(' ');
    const QByteArray keyword = blank < 0 ? command : command.left(blank);
    if (keyword == "PASSWORD") {
        return AnswerExpectation::line({"granted", "denied"});
    }
    if (keyword == "PAGEWRITE") {
        return AnswerExpectation::line({"OK"});
    }
    if (keyword == "REPROGRAMM") {
        return AnswerExpectation::line({"GOOD"});
    }
    return AnswerExpectation::line();
}

AnswerExpectation pageRead(qsizetype characters) {
    return AnswerExpectation::lineOfLength(characters);
}

AnswerExpectation bootloaderEntry() {
    return AnswerExpectation::anyOf({"BIOS>", "i"});
}

AnswerExpectation programmingStart() {
    return AnswerExpectation::anyText();
}

AnswerExpectation record(int recordType) {
    if (recordType <= 4) {
        return AnswerExpectation::anyOf({"w", "@", ".N", ".SE", "OK"});
    }
    return AnswerExpectation::anyOf({"O"});
}

} // namespace AwaitedAnswers
