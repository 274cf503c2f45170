#include "cli/CliQuestions.h"

#include "cli/TerminalPrompt.h"
#include "cli/UsageError.h"
#include "core/Dialogs.h"
#include "core/LoaderError.h"

void CliQuestions::missing(const QString& question, const QString& option) {
    missingAnswer_ =
        QStringLiteral("the loader asks \"%1\": answer it with %2").arg(question, option);
    throw UsageError(missingAnswer_);
}

Questions::Start CliQuestions::startPosition(const ResumePosition&) {
    if (!start) {
        missing(QStringLiteral("Загрузка прошивки с начального адреса?"),
                QStringLiteral("--from-start or --resume"));
    }
    return *start;
}

QString CliQuestions::password() {
    if (!password_ && TerminalPrompt::available()) {
        bool stopped = false;
        password_ = TerminalPrompt::ask(QStringLiteral("Прибор блокирован (Пароль доступа): "),
                                        true, stopped);
        if (stopped) {
            // The session has cancelled the operation: it ends as cancelled, with its journal
            // entry, not as a refusal of an empty password.
            throw LoaderError(QStringLiteral("ввод пароля прерван"));
        }
    }
    if (!password_) {
        missing(QStringLiteral("Прибор блокирован: Пароль доступа"), QStringLiteral("--password"));
    }
    return *password_;
}

std::optional<QString> CliQuestions::fileToWrite() {
    if (!file) {
        missing(QStringLiteral("file name"), QStringLiteral("OUT"));
    }
    return file;
}
