#include "CommandTable.h"

#include <QList>
#include <algorithm>
#include <iterator>

namespace CommandTable {

namespace {

// What a command's answer must hold to be its answer.
enum class Awaits {
    Argument,  // its argument back ("PAGENUM 70": "PAGENUM=70", "70", "PAGENUM=0070")
    Tokens,    // one of the row's texts
    AllTokens, // every one of the row's texts, on one line or on several
    AnyLine,   // any line of its own
    Version,   // a line with a version number
    Silence,   // nothing in particular: the silence alone ends it
    Data,      // the data of a read
};

struct Row {
    const char* keyword;
    Awaits awaits;
    QList<QByteArray> tokens;
    OnSilence onSilence;
    int attempts;
    bool progressLines; // a slow command may print a progress line before its answer
};

const QList<Row>& rows() {
    static const QList<Row> table{
        {"PASSWORD", Awaits::Tokens, {"granted", "denied"}, OnSilence::SendAgain, 10, false},
        {"MODEM_CON", Awaits::Argument, {}, OnSilence::SendAgain, 10, false},
        {"DEBUG", Awaits::Argument, {}, OnSilence::SendAgain, 10, false},
        {"WRITECOUNTER", Awaits::Argument, {}, OnSilence::SendAgain, 10, false},
        {"PAGEHEXMODE", Awaits::Argument, {}, OnSilence::SendAgain, 3, false},
        {"PAGENUM", Awaits::Argument, {}, OnSilence::SendAgain, 3, false},
        {"PAGEADDR", Awaits::Argument, {}, OnSilence::SendAgain, 3, false},
        {"PAGECOUNT", Awaits::Argument, {}, OnSilence::SendAgain, 3, false},
        {"PAGEWRITE", Awaits::AllTokens, {"OK", "STR:"}, OnSilence::RollBack, 1, true},
        {"PAGEREAD", Awaits::Data, {}, OnSilence::PositionFirst, 1, false},
        // Checking and installing the stored image: once, as the engineer asked for it.
        {"REPROGRAMM", Awaits::Tokens, {"GOOD"}, OnSilence::Fail, 1, true},
        // The controller restarts behind it: the silence alone ends its answer, so that a late
        // line of the command before cannot end the wait at once and send the next command
        // into the same breath.
        {"RESET", Awaits::Silence, {}, OnSilence::Fail, 1, false},
        {"VER", Awaits::Version, {}, OnSilence::SendAgain, 5, false},
    };
    return table;
}

// A line the controller's command language does not know (an accompanying-initialisation
// command): any line answers it, and it goes once, since what it does is unknown.
const Row kUnknown{"", Awaits::AnyLine, {}, OnSilence::Fail, 1, false};

QByteArray keywordOf(const QByteArray& command) {
    const qsizetype blank = command.indexOf(' ');
    return blank < 0 ? command : command.left(blank);
}

const Row& rowOf(const QByteArray& command) {
    const QByteArray keyword = keywordOf(command);
    const auto& table = rows();
    const auto it = std::find_if(table.begin(), table.end(),
                                 [&keyword](const Row& row) { return keyword == row.keyword; });
    return it == table.end() ? kUnknown : *it;
}

// Every keyword but the command's own: a line that opens with one answers another command.
QList<QByteArray> otherKeywords(const QByteArray& keyword) {
    QList<QByteArray> others;
    for (const Row& row : rows()) {
        if (keyword != row.keyword) {
            others.append(row.keyword);
        }
    }
    return others;
}

AnswerExpectation awaitedBy(const Row& row, const QByteArray& command) {
    const qsizetype blank = command.indexOf(' ');
    const QByteArray argument = blank < 0 ? QByteArray() : command.mid(blank + 1);
    switch (row.awaits) {
    case Awaits::Argument:
        return argument.isEmpty() ? AnswerExpectation::line() : AnswerExpectation::line({argument});
    case Awaits::Tokens:
        return AnswerExpectation::line(row.tokens);
    case Awaits::AllTokens:
        return AnswerExpectation::linesHoldingAll(row.tokens);
    case Awaits::AnyLine:
        return AnswerExpectation::line();
    case Awaits::Version:
        return AnswerExpectation::lineWithVersion();
    case Awaits::Silence:
        return AnswerExpectation();
    case Awaits::Data:
        break;
    }
    return AnswerExpectation::lineOfLength(0);
}

AnswerExpectation interpreterExpectation(const Row& row, const QByteArray& command,
                                         AnswerExpectation awaited) {
    if (!awaited.awaitsSomething()) {
        return awaited;
    }
    const QByteArray keyword = keywordOf(command);
    const bool write = keyword == "PAGEWRITE";
    awaited.withEcho(command).withOtherCommands(
        otherKeywords(keyword), write ? QList<QByteArray>{} : QList<QByteArray>{"STR:"},
        keyword != "PAGEREAD");
    if (row.progressLines) {
        awaited.passingProgressLines();
    }
    return awaited;
}

} // namespace

OnSilence onSilence(const QByteArray& command) {
    return rowOf(command).onSilence;
}

int attempts(const QByteArray& command) {
    return rowOf(command).attempts;
}

Command interpreter(const QByteArray& command, int attempts) {
    const Row& row = rowOf(command);
    return {command, interpreterExpectation(row, command, awaitedBy(row, command)),
            attempts > 0 ? attempts : row.attempts, -1};
}

Command pageRead(qsizetype characters) {
    const QByteArray command = "PAGEREAD";
    const Row& row = rowOf(command);
    return {command,
            interpreterExpectation(row, command, AnswerExpectation::lineOfLength(characters)),
            row.attempts, -1};
}

Command bootloaderEntry() {
    AnswerExpectation awaited = AnswerExpectation::anyOf({"BIOS>"});
    awaited.takingUnendedAnswers();
    return {"i", awaited, 1, -1};
}

Command programmingStart() {
    AnswerExpectation awaited = AnswerExpectation::anyText();
    awaited.withEcho("f").takingUnendedAnswers();
    return {"f", awaited, 1, -1};
}

Command record(const QByteArray& line, std::int32_t waitMs) {
    const int recordType = line.size() > 1 ? std::uint8_t(line.at(1) - '0') : 0;
    AnswerExpectation awaited = AnswerExpectation::line({recordType <= 4 ? "OK" : "O"});
    if (recordType <= 4) {
        awaited.withBareTokens({"w", "@", ".N", ".SE"});
    }
    awaited.withEcho(line).passingProgressLines().takingUnendedAnswers();
    return {line + '\r', awaited, 1, waitMs};
}

bool acknowledgesRecord(const QByteArray& answer) {
    return answer.contains('w') || answer.contains('@') || answer.contains(".N") ||
           answer.contains(".SE");
}

} // namespace CommandTable
