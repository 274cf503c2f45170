#include "WaitMenu.h"

#include "Loader.h"

void WaitMenu::mnuTimeOutClick(Loader& loader) {
    QString value = QString::number(loader.state.AnswerTimeoutMs);
    if (!loader.dialogs.inputQuery(QStringLiteral("Время ожидания отклика"),
                                   QStringLiteral("Время в миллисекундах"), value)) {
        return;
    }
    bool ok = false;
    int ms = value.toInt(&ok, 10);
    // A text that is not a whole number, or a negative one, gives the 1000 ms default.
    if (!ok || ms < 0) {
        ms = 1000;
    }
    loader.setAnswerTimeout(ms);
}

void WaitMenu::mnuAnswerGapClick(Loader& loader) {
    QString value = QString::number(loader.state.AnswerGapMs);
    if (!loader.dialogs.inputQuery(QStringLiteral("Пауза внутри ответа"),
                                   QStringLiteral("Время в миллисекундах"), value)) {
        return;
    }
    bool ok = false;
    const int ms = value.toInt(&ok, 10);
    // A text that is not a whole number, or a negative one, gives the 500 ms default.
    loader.setAnswerGap(ok && ms >= 0 ? ms : kDefaultAnswerGapMs);
}
