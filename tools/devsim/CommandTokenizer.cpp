#include "CommandTokenizer.h"

namespace devsim {

QList<QByteArray> CommandTokenizer::feed(const QByteArray& bytes) {
    QList<QByteArray> commands;
    for (const char c : bytes) {
        if (c == '\r' || c == '\n') {
            if (!pending_.isEmpty()) {
                commands.append(flush());
            }
            continue;
        }
        pending_.append(c);
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
