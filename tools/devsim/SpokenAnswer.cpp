#include "SpokenAnswer.h"

namespace devsim {

SpokenAnswer speak(const Dialect& dialect, const QByteArray& command, const Reply& reply) {
    if (reply.text.isEmpty()) {
        return {};
    }
    SpokenAnswer spoken;
    if (dialect.echo) {
        spoken.now = dialect.lineBefore(command);
    }
    const QByteArray answer = reply.text + (dialect.prompt ? "> " : "");
    if (dialect.progress && reply.slow) {
        spoken.now += dialect.lineBefore("Erasing sector");
        spoken.later = answer;
    } else {
        spoken.now += answer;
    }
    return spoken;
}

} // namespace devsim
