#include "AnswerLine.h"

#include <QByteArray>
#include <algorithm>
#include <array>

namespace AnswerLine {

namespace {

constexpr qsizetype kLongestPrompt = 16;

// First words that say no, in capitals; a first word that begins with "ERR" says no as well.
constexpr std::array<QByteArrayView, 6> kErrorWords{"ERR",    "BAD",     "FAIL",
                                                    "FAILED", "FAILURE", "NAK"};
constexpr QByteArrayView kNack = "NACK";

bool isBlank(char c) {
    return c == ' ' || c == '\t' || isLineEnd(c);
}

bool isLetter(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

char upper(char c) {
    return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c;
}

// The letters the line starts with, after any prompt and blanks.
QByteArrayView firstWord(QByteArrayView line) {
    const QByteArrayView text = trimmed(withoutPrompt(trimmed(line)));
    qsizetype n = 0;
    while (n < text.size() && isLetter(text[n])) {
        ++n;
    }
    return text.first(n);
}

// Whether `word` (in any case) begins with `prefix` (capitals).
bool beginsWith(QByteArrayView word, QByteArrayView prefix) {
    if (word.size() < prefix.size()) {
        return false;
    }
    for (qsizetype i = 0; i < prefix.size(); ++i) {
        if (upper(word[i]) != prefix[i]) {
            return false;
        }
    }
    return true;
}

bool isErrorWord(QByteArrayView word) {
    if (beginsWith(word, "ERR")) {
        return true;
    }
    const auto same = [word](QByteArrayView error) {
        return word.size() == error.size() && beginsWith(word, error);
    };
    return std::any_of(kErrorWords.begin(), kErrorWords.end(), same) || same(kNack);
}

// Whether an unfinished word may still grow into an error word.
bool beginsErrorWord(QByteArrayView word) {
    const auto grows = [word](QByteArrayView error) {
        return word.size() < error.size() && beginsWith(error, word.toByteArray().toUpper());
    };
    return std::any_of(kErrorWords.begin(), kErrorWords.end(), grows) || grows(kNack);
}

} // namespace

QByteArrayView trimmed(QByteArrayView line) {
    qsizetype from = 0;
    qsizetype to = line.size();
    while (from < to && isBlank(line[from])) {
        ++from;
    }
    while (to > from && isBlank(line[to - 1])) {
        --to;
    }
    return line.sliced(from, to - from);
}

QByteArrayView withoutPrompt(QByteArrayView line) {
    const qsizetype limit = std::min(line.size(), kLongestPrompt);
    for (qsizetype i = 0; i < limit; ++i) {
        if (isBlank(line[i])) {
            return line;
        }
        if (line[i] == '>' && (i + 1 == line.size() || isBlank(line[i + 1]))) {
            return trimmed(line.sliced(i + 1));
        }
    }
    return line;
}

bool isErrorLine(QByteArrayView line) {
    return isErrorWord(firstWord(line));
}

bool mayBeErrorLine(QByteArrayView start) {
    const QByteArrayView text = trimmed(withoutPrompt(trimmed(start)));
    if (text.isEmpty()) {
        return false; // nothing but a prompt yet: a token in it is no part of an error line
    }
    const QByteArrayView word = firstWord(start);
    if (word.size() < text.size()) {
        return isErrorWord(word); // the first word is complete
    }
    return isErrorWord(word) || beginsErrorWord(word);
}

bool startsWithKeyword(QByteArrayView line, QByteArrayView keyword) {
    if (!line.startsWith(keyword)) {
        return false;
    }
    if (line.size() == keyword.size()) {
        return true;
    }
    const char next = line[keyword.size()];
    return !isLetter(next) && !(next >= '0' && next <= '9') && next != '_';
}

bool isReadData(QByteArrayView line) {
    return line.size() >= 12 && std::all_of(line.begin(), line.end(), [](char c) {
               return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || c == 'S';
           });
}

bool holdsVersionNumber(QByteArrayView line) {
    const auto digit = [](char c) { return c >= '0' && c <= '9'; };
    for (qsizetype i = 1; i + 1 < line.size(); ++i) {
        if (line[i] == '.' && digit(line[i - 1]) && digit(line[i + 1])) {
            return true;
        }
    }
    return false;
}

} // namespace AnswerLine
