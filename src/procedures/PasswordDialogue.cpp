#include "PasswordDialogue.h"

#include "InterpreterAnswer.h"
#include "core/Cp1251.h"
#include "core/Loader.h"

PasswordResult PasswordDialogue(Loader& loader) {
    PasswordResult result;
    loader.exchange.SendCommand("PASSWORD");
    result.firstAnswered = !loader.state.AnswerBuffer.isEmpty();
    if (InterpreterAnswer::contains(loader.state.AnswerBuffer, "denied")) {
        QString password;
        if (loader.dialogs.inputQuery(QStringLiteral("Прибор блокирован"),
                                      QStringLiteral("Пароль доступа"), password) &&
            !password.isEmpty()) {
            result.password = Cp1251::encode(password);
            loader.exchange.SendCommand("PASSWORD " + result.password);
        }
    }
    result.granted = InterpreterAnswer::contains(loader.state.AnswerBuffer, "granted");
    return result;
}
