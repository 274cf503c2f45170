#include "TargetedFault.h"

#include <QStringList>
#include <algorithm>
#include <array>
#include <utility>

namespace devsim {
namespace {

constexpr std::array<std::pair<const char*, FaultKind>, 7> kKinds{{
    {"lost", FaultKind::Lost},
    {"late", FaultKind::Late},
    {"doubled", FaultKind::Doubled},
    {"cut", FaultKind::Cut},
    {"damaged", FaultKind::Damaged},
    {"refused", FaultKind::Refused},
    {"unheard", FaultKind::Unheard},
}};

std::optional<FaultKind> kindNamed(const QString& name) {
    for (const auto& [word, kind] : kKinds) {
        if (name == QLatin1String(word)) {
            return kind;
        }
    }
    return std::nullopt;
}

// Printable ASCII without blanks: a command's first word as the device receives it.
bool isOneWord(const QString& text) {
    return !text.isEmpty() && std::all_of(text.begin(), text.end(), [](QChar c) {
        return c.unicode() > 0x20 && c.unicode() < 0x7F;
    });
}

bool isRecordLine(const QByteArray& command) {
    return command.size() >= 2 && command[0] == 'S' && command[1] >= '0' && command[1] <= '9';
}

} // namespace

std::optional<TargetedFault> parseTargetedFault(const QString& spec, QString* error) {
    const QStringList parts = spec.split(QLatin1Char(':'));
    const auto refuse = [&](const QString& why) {
        *error = QStringLiteral("--fault needs COMMAND:N:KIND (%1), not \"%2\"").arg(why, spec);
        return std::nullopt;
    };
    if (parts.size() != 3) {
        return refuse(QStringLiteral("three parts"));
    }
    const QString& command = parts[0];
    if (!isOneWord(command)) {
        return refuse(QStringLiteral("COMMAND one word"));
    }
    bool ok = false;
    const int nth = parts[1].toInt(&ok);
    if (!ok || nth < 1) {
        return refuse(QStringLiteral("N a whole number from 1"));
    }
    const std::optional<FaultKind> kind = kindNamed(parts[2]);
    if (!kind) {
        return refuse(
            QStringLiteral("KIND one of lost, late, doubled, cut, damaged, refused, unheard"));
    }
    return TargetedFault{command.toLatin1(), nth, *kind};
}

QList<QByteArray> faultKeys(const QByteArray& command) {
    if (isRecordLine(command)) {
        return {command.left(2), "record"};
    }
    const qsizetype blank = command.indexOf(' ');
    return {blank < 0 ? command : command.left(blank)};
}

} // namespace devsim
