#include "CommandTokenizer.h"

namespace devsim {

// The bytes between line ends are taken a run at a time, not byte by byte: a broker frame's
// record is one run.
QList<QByteArray> CommandTokenizer::feed(const QByteArray& bytes) {
    QList<QByteArray> commands;
    const char* at = bytes.constData();
    const char* const end = at + bytes.size();
    while (at < end) {
        if (*at == '\r' || *at == '\n') {
            if (!pending_.isEmpty()) {
                commands.append(flush());
            }
            ++at;
            continue;
        }
        const char* runEnd = at;
        const qsizetype room = kMaxCommand - pending_.size();
        while (runEnd < end && runEnd - at < room && *runEnd != '\r' && *runEnd != '\n') {
            ++runEnd;
        }
        pending_.append(at, runEnd - at);
        at = runEnd;
        if (pending_.size() >= kMaxCommand) {
            commands.append(flush());
        }
    }
    return commands;
}

QByteArray CommandTokenizer::flush() {
    QByteArray command;
    command.swap(pending_);
    return command;
}

} // namespace devsim
