#include "PasswordDialogue.h"

#include "InterpreterAnswer.h"
#include "SettingCommand.h"
#include "core/Cp1251.h"
#include "core/Exchange.h"
#include "core/Questions.h"

Task<PasswordResult> PasswordDialogue(Exchange& exchange, int attempts, Questions& questions) {
    PasswordResult result;
    Answer latest = co_await askRepeatable(exchange, "PASSWORD", attempts);
    result.firstAnswered = latest.heard();
    if (InterpreterAnswer::contains(latest.text, "denied")) {
        const QString password = questions.password();
        if (!password.isEmpty()) {
            result.password = Cp1251::encode(password);
            latest = co_await askRepeatable(exchange, "PASSWORD " + result.password, attempts);
        }
    }
    result.granted = latest.whole() && InterpreterAnswer::contains(latest.text, "granted");
    result.denied = latest.whole() && InterpreterAnswer::contains(latest.text, "denied");
    result.latest = latest;
    co_return result;
}
