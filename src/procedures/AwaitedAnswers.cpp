#include "AwaitedAnswers.h"

#include <algorithm>
#include <iterator>

namespace AwaitedAnswers {

namespace {

// The commands whose answer line carries their argument back ("PAGENUM 70": "PAGENUM=70").
bool echoesArgument(const QByteArray& keyword) {
    static const QByteArray kEchoing[] = {"MODEM_CON", "DEBUG",    "WRITECOUNTER", "PAGEHEXMODE",
                                          "PAGENUM",   "PAGEADDR", "PAGECOUNT"};
    return std::find(std::begin(kEchoing), std::end(kEchoing), keyword) != std::end(kEchoing);
}

} // namespace

AnswerExpectation interpreter(const QByteArray& command) {
    const qsizetype blank = command.indexOf(' ');
    const QByteArray keyword = blank < 0 ? command : command.left(blank);
    const QByteArray argument = blank < 0 ? QByteArray() : command.mid(blank + 1);
    if (keyword == "PASSWORD") {
        return AnswerExpectation::line({"granted", "denied"});
    }
    if (keyword == "PAGEWRITE") {
        return AnswerExpectation::line({"OK"});
    }
    if (keyword == "REPROGRAMM") {
        return AnswerExpectation::line({"GOOD"});
    }
    if (keyword == "VER") {
        return AnswerExpectation::line({"3."});
    }
    if (!argument.isEmpty() && echoesArgument(keyword)) {
        return AnswerExpectation::line({argument});
    }
    return AnswerExpectation::line();
}

AnswerExpectation pageRead(qsizetype characters) {
    return AnswerExpectation::lineOfLength(characters);
}

AnswerExpectation bootloaderEntry() {
    return AnswerExpectation::anyOf({"BIOS>"});
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
