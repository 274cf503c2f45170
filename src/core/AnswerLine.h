#pragma once

#include <QByteArrayView>

// The rules by which one line of a controller's answer is read, whatever the controller's manner:
// lines may end with CR, LF, both or nothing, may start with a prompt ("> ", "BIOS> "), and an
// error may be worded freely ("ERR SUM", "ERROR", "Err: flash write failed", "BAD checksum").
namespace AnswerLine {

// CR and LF both end a line.
inline bool isLineEnd(char c) {
    return c == '\r' || c == '\n';
}

// The line without the blanks and line ends around it.
QByteArrayView trimmed(QByteArrayView line);

// The line without a prompt in front of it: a word of at most 16 characters ending with '>'
// ("> ", "BIOS> ", "LUMET52>"). The whole line when it has none.
QByteArrayView withoutPrompt(QByteArrayView line);

// Whether the line says no: its first word is an error word ("ERR", "ERROR", "Err:", "BAD",
// "FAIL", "NAK"), in any case. Judged before anything a command awaits, so the "w" of
// "ERR: flash write failed" or the "O" of "ERROR" is never taken for an acknowledgement.
bool isErrorLine(QByteArrayView line);

// Whether a line of which only `start` has arrived may still turn out to be an error line: its
// first word is not complete yet and begins like an error word. A token in such a line waits
// for the rest of the line.
bool mayBeErrorLine(QByteArrayView start);

// Whether the line begins with the keyword as a word of its own ("PAGENUM=70", "PAGENUM 70",
// "PAGENUM: 70", "PAGENUM"), not as the start of a longer word.
bool startsWithKeyword(QByteArrayView line, QByteArrayView keyword);

// Whether the line is data a read returned: at least 12 characters, all hexadecimal digits
// (capitals) or "S", as the stored text and the descriptor read back are.
bool isReadData(QByteArrayView line);

// Whether the line holds a version number: a digit, a point and a digit ("3.14", "v4.01").
bool holdsVersionNumber(QByteArrayView line);

} // namespace AnswerLine
