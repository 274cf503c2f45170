#include "SettingCommand.h"

#include "AwaitedAnswers.h"
#include "InterpreterAnswer.h"
#include "core/Exchange.h"

bool settingEchoed(const QByteArray& command, const QByteArray& answer) {
    const QByteArray value = command.mid(command.indexOf(' ') + 1);
    bool number = false;
    const int asNumber = value.toInt(&number);
    return number ? InterpreterAnswer::echoesNumber(answer, asNumber)
                  : InterpreterAnswer::contains(answer, value);
}

SettingResult askSetting(Exchange& exchange, const QByteArray& command, int attempts) {
    SettingResult result;
    for (int attempt = 1; attempt <= attempts; ++attempt) {
        result.answer = exchange.ask({command, AwaitedAnswers::interpreter(command), 1, -1});
        const Answer::Status status = result.answer.status;
        result.confirmed = result.answer.whole() && settingEchoed(command, result.answer.text);
        const bool errorLine = status == Answer::Status::Refused &&
                               result.answer.words().startsWith(QStringLiteral("ERR"));
        if (result.confirmed || errorLine || status == Answer::Status::Cancelled ||
            status == Answer::Status::LinkLost) {
            break;
        }
    }
    return result;
}
