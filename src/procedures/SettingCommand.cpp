#include "SettingCommand.h"

#include "CommandTable.h"
#include "core/Exchange.h"

#include <algorithm>

Task<Answer> askRepeatable(Exchange& exchange, QByteArray command, int attempts) {
    Answer answer;
    for (int left = std::max(1, attempts); left > 0; left -= std::max(1, answer.sends)) {
        answer = co_await exchange.ask(CommandTable::interpreter(command, left));
        if (answer.whole() || answer.errorLine || answer.stopped()) {
            break;
        }
    }
    co_return answer;
}

Task<SettingResult> askSetting(Exchange& exchange, QByteArray command, int attempts) {
    SettingResult result;
    result.answer = co_await askRepeatable(exchange, std::move(command), attempts);
    result.confirmed = result.answer.whole();
    co_return result;
}
