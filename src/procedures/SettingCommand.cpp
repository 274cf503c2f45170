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

namespace {

bool errorLine(const Answer& answer) {
    return answer.refused() && answer.words().startsWith(QStringLiteral("ERR"));
}

bool stopped(const Answer& answer) {
    return answer.status == Answer::Status::Cancelled || answer.status == Answer::Status::LinkLost;
}

} // namespace

Answer askRepeatable(Exchange& exchange, const QByteArray& command, int attempts) {
    Answer answer;
    for (int attempt = 1; attempt <= attempts; ++attempt) {
        answer = exchange.ask({command, AwaitedAnswers::interpreter(command), 1, -1});
        if (answer.whole() || errorLine(answer) || stopped(answer)) {
            break;
        }
    }
    return answer;
}

SettingResult askSetting(Exchange& exchange, const QByteArray& command, int attempts) {
    SettingResult result;
    for (int attempt = 1; attempt <= attempts; ++attempt) {
        result.answer = exchange.ask({command, AwaitedAnswers::interpreter(command), 1, -1});
        result.confirmed = result.answer.whole() && settingEchoed(command, result.answer.text);
        if (result.confirmed || errorLine(result.answer) || stopped(result.answer)) {
            break;
        }
    }
    return result;
}
