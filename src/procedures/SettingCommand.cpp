#include "SettingCommand.h"

#include "CommandTable.h"
#include "core/Exchange.h"

#include <algorithm>

Answer askRepeatable(Exchange& exchange, const QByteArray& command, int attempts) {
    Answer answer;
    for (int left = std::max(1, attempts); left > 0; left -= std::max(1, answer.sends)) {
        answer = exchange.askNow(CommandTable::interpreter(command, left));
        if (answer.whole() || answer.errorLine || answer.stopped()) {
            break;
        }
    }
    return answer;
}

SettingResult askSetting(Exchange& exchange, const QByteArray& command, int attempts) {
    SettingResult result;
    result.answer = askRepeatable(exchange, command, attempts);
    result.confirmed = result.answer.whole();
    return result;
}
