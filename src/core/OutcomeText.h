#pragma once

#include "OperationResult.h"

#include <QString>

// The one mapping from an outcome to the system's words: the status bar, the journal, the
// shell's text and its JSON all take their texts from here.
namespace OutcomeText {

// "Операция выполнена за HH:MM:SS" for a success (elapsed is the formatted time), else
// "Операция не выполнена - " and the cause.
QString status(Outcome outcome, const QString& reason, const QString& file, const QString& elapsed);

// The status and journal text of a run of the operation: the operations' texts as above; a
// send names its commands ("Терминал: VER\r - ответ получен"), a version query the version.
QString status(Operation operation, const Verdict& verdict, const QString& elapsed,
               const QList<QByteArray>& commands);

// The reason of a verdict in the system's words: rendered from its cause and context, else its
// own words.
QString reason(const Verdict& verdict);

// The cause of a failure alone, in the system's Russian.
QString cause(Outcome outcome, const QString& reason, const QString& file);

// The outcome as one word for machines ("success", "link-lost" ...).
QString word(Outcome outcome);

} // namespace OutcomeText
