#include "PasswordDialogue.h"

#include "AwaitedAnswers.h"
#include "InterpreterAnswer.h"
#include "core/Cp1251.h"
#include "core/Exchange.h"
#include "core/LoaderState.h"
#include "core/Questions.h"

PasswordResult PasswordDialogue(Exchange& exchange, LoaderState& state, Questions& questions) {
    PasswordResult result;
    exchange.SendCommand("PASSWORD", AwaitedAnswers::interpreter("PASSWORD"));
    result.firstAnswered = !state.AnswerBuffer.isEmpty();
    if (InterpreterAnswer::contains(state.AnswerBuffer, "denied")) {
        const QString password = questions.password();
        if (!password.isEmpty()) {
            result.password = Cp1251::encode(password);
            const QByteArray command = "PASSWORD " + result.password;
            exchange.SendCommand(command, AwaitedAnswers::interpreter(command));
        }
    }
    result.granted = InterpreterAnswer::contains(state.AnswerBuffer, "granted");
    return result;
}
