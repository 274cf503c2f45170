#include "InterpreterAnswer.h"

#include "WholeNumber.h"

namespace {
constexpr qsizetype kMaxKeyDigits = 11;
}

bool InterpreterAnswer::contains(const QByteArray& answer, QByteArrayView text) {
    return !answer.isEmpty() && answer.contains(text);
}

bool InterpreterAnswer::containsNumber(const QByteArray& answer, std::int64_t number) {
    return contains(answer, QByteArray::number(number));
}

QByteArray InterpreterAnswer::confirmationLine(const QByteArray& answer) {
    const qsizetype key = answer.lastIndexOf("STR:");
    if (key < 0) {
        return answer;
    }
    qsizetype from = key;
    while (from > 0 && answer.at(from - 1) != '\r' && answer.at(from - 1) != '\n') {
        --from;
    }
    qsizetype to = key;
    while (to < answer.size() && answer.at(to) != '\r' && answer.at(to) != '\n') {
        ++to;
    }
    return answer.mid(from, to - from);
}

std::optional<std::uint16_t> InterpreterAnswer::valueAfterKey(const QByteArray& answer,
                                                              QByteArrayView key) {
    const qsizetype at = answer.indexOf(key);
    if (at < 0) {
        return std::nullopt;
    }
    const qsizetype start = at + key.size();
    qsizetype end = start;
    while (end < answer.size() && end - start < kMaxKeyDigits && answer.at(end) >= '0' &&
           answer.at(end) <= '9') {
        ++end;
    }
    if (end == start) {
        return std::nullopt;
    }
    const std::int32_t value =
        WholeNumber::parseDigits(QByteArrayView(answer.constData() + start, end - start));
    return std::uint16_t(std::uint32_t(value) & 0xFFFFU);
}
