#include "MainWindowTexts.h"

#include "FormModel.h"

#include <QHash>

void MainWindowTexts::applyHints(FormModel& form) {
    form.BrokerIPEdt.hint = QStringLiteral("IP адрес \"Korve  Брокер \"");
    form.BrokerPortEdt.hint = QStringLiteral("порт \"Korve  Брокер \"");
    form.HARDWARE_IDEdt.hint =
        QStringLiteral("Уникальный идентификатор  LUMET5 на \"Korve Брокер\"");
    form.btnHeaderEdit.hint = QStringLiteral(
        "Кнопка разрешает редактировать заголовок файла, содержащего обновление ПО \r\n"
        "прибра. После редактирования необходимо сохранить изменения в выбранном файле.\r\n"
        "Внимание!!! за сигнатурой UNIT: и до первого пробела, в заголовке обновления \r\n"
        "считается сигнатура типа устройства, для которого предназначается\r\n"
        "данная прошивка. \r\n"
        "Несовпадение сигнатур непозволит загрузить \r\n"
        "выбранную прошивку в подключенное устройство!");
    form.cbFinalization.hint = QStringLiteral(
        "ПРИ АКТИВНОМ ФЛАГЕ ФИНАЛИЗАЦИИ:\r"
        "После успешной загрузки программа дополнительно посылает команду REPROGRAMM W, \r"
        "которая заставляет устройство проверить загруженную прошивку и выставить флаг \r"
        "достоверности загруженной прошивки. Если контрольная сумма совпала с контрольной \r"
        "суммой прошивки устрйоства, программа посылает команду перезагрузки устройства и \r"
        "автоматическому обновлению его программного обеспечения. ");
    form.cbVerifyStored.hint =
        QStringLiteral("После загрузки программа читает записанный текст обратно \r"
                       "и сравнивает его с файлом; расхождение - ошибка операции. ");
    form.cbWaitConnectLUMET.hint =
        QStringLiteral("При активации данной опции и отсутствии LUMET \r"
                       "на брокере, операция повторяется через 30 секунд. \r"
                       "Количество повторов бесконечно. ");
    form.cbDopInitCmd.hint = QStringLiteral("При активации данной опции, после загрузки \r"
                                            "обновления и до перезапуска устройства будет \r"
                                            "отправляться набор команд сопуствующей \r"
                                            "инициализации LUMET.");
}

QString MainWindowTexts::display(const QString& text) {
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return shown;
}

QString MainWindowTexts::buttonText(const QString& caption) {
    // Each letter once among the controls shown together.
    static const QHash<QString, int> mnemonics = {
        {QStringLiteral("Загрузить прошивку"), 0},
        {QStringLiteral("Отмена"), 0},
        {QStringLiteral("Выбрать файл ..."), 0},
        {QStringLiteral("Редактировать"), 0},
        {QStringLiteral("Финализация устройства"), 0},
        {QStringLiteral("Дожидаться подключения LUMET"), 0},
        {QStringLiteral("Сопутствующая инициализация"), 0},
        {QStringLiteral("Проверить записанное"), 0},
        // The header's button while the header is edited; С is the accompanying initialisation's.
        {QStringLiteral("Сохранить"), 2},
        {QStringLiteral("В системе"), 7},
    };
    QString shown = display(caption);
    shown.replace(QLatin1Char('&'), QStringLiteral("&&"));
    const auto mnemonic = mnemonics.constFind(caption);
    if (mnemonic != mnemonics.constEnd()) {
        shown.insert(*mnemonic, QLatin1Char('&'));
    }
    return shown;
}

QString MainWindowTexts::menuText(const QString& caption) {
    QString shown = caption;
    shown.replace(QLatin1Char('&'), QStringLiteral("&&"));
    return shown.isEmpty() ? shown : QLatin1Char('&') + shown;
}
