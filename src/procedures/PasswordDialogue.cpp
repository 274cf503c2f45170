#include "PasswordDialogue.h"

#include "InterpreterAnswer.h"
#include "SettingCommand.h"
#include "core/Cp1251.h"
#include "core/Exchange.h"
#include "core/LoaderState.h"
#include "core/Questions.h"

#include <algorithm>

namespace {

// Asking for access again does no harm: a password command is sent again while its answer is
// missing, cut, damaged or another command's, as often as the caller's attempt limit says;
// each login counts its own attempts.
Answer ask(Exchange& exchange, const LoaderState& state, const QByteArray& command) {
    return askRepeatable(exchange, command, std::max(1, state.AttemptLimit));
}

} // namespace

PasswordResult PasswordDialogue(Exchange& exchange, LoaderState& state, Questions& questions) {
    PasswordResult result;
    Answer latest = ask(exchange, state, "PASSWORD");
    result.firstAnswered = latest.heard();
    if (InterpreterAnswer::contains(latest.text, "denied")) {
        const QString password = questions.password();
        if (!password.isEmpty()) {
            result.password = Cp1251::encode(password);
            latest = ask(exchange, state, "PASSWORD " + result.password);
        }
    }
    result.granted = latest.whole() && InterpreterAnswer::contains(latest.text, "granted");
    result.denied = latest.whole() && InterpreterAnswer::contains(latest.text, "denied");
    result.latest = latest;
    return result;
}
