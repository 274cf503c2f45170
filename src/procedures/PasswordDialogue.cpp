#include "PasswordDialogue.h"

#include "AwaitedAnswers.h"
#include "InterpreterAnswer.h"
#include "core/Cp1251.h"
#include "core/Loader.h"
#include "core/Questions.h"

PasswordResult PasswordDialogue(Loader& loader, Questions& questions) {
    PasswordResult result;
    loader.exchange.SendCommand("PASSWORD", AwaitedAnswers::interpreter("PASSWORD"));
    result.firstAnswered = !loader.state.AnswerBuffer.isEmpty();
    if (InterpreterAnswer::contains(loader.state.AnswerBuffer, "denied")) {
        const QString password = questions.password();
        if (!password.isEmpty()) {
            result.password = Cp1251::encode(password);
            const QByteArray command = "PASSWORD " + result.password;
            loader.exchange.SendCommand(command, AwaitedAnswers::interpreter(command));
        }
    }
    result.granted = InterpreterAnswer::contains(loader.state.AnswerBuffer, "granted");
    return result;
}
