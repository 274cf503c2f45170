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
