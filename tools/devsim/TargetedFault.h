#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

namespace devsim {

// What happens to the one answer a targeted fault hits.
enum class FaultKind {
    Lost,    // the command takes effect; its answer is never sent
    Late,    // the command takes effect; its answer comes --late-ms after it
    Doubled, // the answer is sent twice
    Cut,     // the answer comes in two halves, --cut-gap apart
    Damaged, // broker: the answer's frames have a bad CRC; TCP, pty: every byte garbled
    Refused, // the command does not take effect; the answer is the injected refusal
    Unheard, // the command never reached the controller: no effect, no answer
};

// "--fault COMMAND:N:KIND": the Nth answer (from 1) of one device to COMMAND. COMMAND names
// what the device received: an interpreter keyword (the command's first word, "PAGEWRITE"),
// a bootloader command ("i", "f"), a record line by its type ("S0" .. "S9") or any record
// line ("record").
struct TargetedFault {
    QByteArray command;
    int nth = 1;
    FaultKind kind = FaultKind::Lost;

    bool operator==(const TargetedFault&) const = default;
};

// Reads one "COMMAND:N:KIND"; nothing, with the reason in error, when it is not one.
std::optional<TargetedFault> parseTargetedFault(const QString& spec, QString* error);

// The names a received command is counted under: its first word, and for a record line
// ("S" and a type digit) "S<type>" and "record".
QList<QByteArray> faultKeys(const QByteArray& command);

} // namespace devsim
