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
    if (keyword == "RESET") {
        // Not judged, and the controller restarts behind it: the silence alone ends its answer,
        // so that a late line of the command before cannot end the wait at once and send the
        // next command into the same breath.
        return AnswerExpectation();
    }
    AnswerExpectation awaited = AnswerExpectation::line();
    if (keyword == "PASSWORD") {
        awaited = AnswerExpectation::line({"granted", "denied"});
    } else if (keyword == "PAGEWRITE") {
        awaited = AnswerExpectation::line({"OK"});
    } else if (keyword == "REPROGRAMM") {
        awaited = AnswerExpectation::line({"GOOD"});
    } else if (keyword == "VER") {
        awaited = AnswerExpectation::line({"3."});
    } else if (!argument.isEmpty() && echoesArgument(keyword)) {
        awaited = AnswerExpectation::line({argument});
    }
    awaited.withEcho(command);
    return awaited;
}

AnswerExpectation pageRead(qsizetype characters) {
    return AnswerExpectation::lineOfLength(characters);
}

AnswerExpectation bootloaderEntry() {
    return AnswerExpectation::anyOf({"BIOS>"});
}

AnswerExpectation programmingStart() {
    return AnswerExpectation::line().withEcho("f");
}

AnswerExpectation record(int recordType, const QByteArray& line) {
    AnswerExpectation awaited = AnswerExpectation::line({recordType <= 4 ? "OK" : "O"});
    if (recordType <= 4) {
        awaited.withBareTokens({"w", "@", ".N", ".SE"});
    }
    awaited.withEcho(line);
    return awaited;
}

} // namespace AwaitedAnswers
