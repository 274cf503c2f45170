#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <cstdint>
#include <optional>

// How the storage procedures read the controller's command interpreter: an answer "contains" a
// text when the text occurs anywhere in it (case-sensitive); an empty answer contains nothing.
namespace InterpreterAnswer {
bool contains(const QByteArray& answer, QByteArrayView text);
// Whether the answer contains the decimal text of the number (the echo of a numeric argument).
bool containsNumber(const QByteArray& answer, std::int64_t number);

// The line of a page write's answer that confirms it: the last one holding "STR:" (a late line of
// an earlier answer may come before it); the whole answer when no line holds it.
QByteArray confirmationLine(const QByteArray& answer);

// The number right after the first occurrence of key ("STR:", "NUM:", "ADDR:"): at most 11
// decimal digits, kept as their low 16 bits. Empty when the key is absent or no digit follows
// it. Digits beyond a signed 32-bit number raise LoaderError (the conversion error).
std::optional<std::uint16_t> valueAfterKey(const QByteArray& answer, QByteArrayView key);
} // namespace InterpreterAnswer
