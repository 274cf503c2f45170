#include "cli/CliDialogs.h"

#include "cli/ProgressDisplay.h"
#include "cli/TerminalPrompt.h"
#include "cli/UsageError.h"

#include <cstdio>

namespace {

void printLine(const QString& prefix, const QString& text) {
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"))
        .replace(QLatin1Char('\r'), QLatin1Char('\n'));
    ProgressDisplay::clearLine();
    std::fprintf(stderr, "%s%s\n", prefix.toLocal8Bit().constData(),
                 shown.toLocal8Bit().constData());
    std::fflush(stderr);
}

} // namespace

void CliDialogs::setConfirm(const QString& question, const QString& flag, std::optional<bool> yes) {
    std::optional<QString> value;
    if (yes) {
        value = *yes ? QStringLiteral("yes") : QStringLiteral("no");
    }
    confirms_[question] = {flag, value};
}

void CliDialogs::setInput(const QString& caption, const QString& flag, std::optional<QString> text,
                          bool secret) {
    inputs_[caption] = {flag, std::move(text), secret};
}

void CliDialogs::setFile(const QString& flag, std::optional<QString> path) {
    file_ = Answer{flag, std::move(path)};
}

void CliDialogs::missing(const QString& question, const QString& flag) {
    missingAnswer_ =
        flag.isEmpty()
            ? QStringLiteral("the loader asks \"%1\" and no option answers it").arg(question)
            : QStringLiteral("the loader asks \"%1\": answer it with %2").arg(question, flag);
    throw UsageError(missingAnswer_);
}

void CliDialogs::showError(const QString& text, const QString& caption) {
    Q_UNUSED(caption);
    errorsShown_.append(text);
    printLine(QStringLiteral("velkor-cli: error: "), text);
}

void CliDialogs::showInformation(const QString& text) {
    if (!quiet) {
        printLine(QStringLiteral("velkor-cli: "), text);
    }
}

bool CliDialogs::confirm(const QString& text) {
    const auto it = confirms_.find(text);
    if (it == confirms_.end() || !it->second.value) {
        missing(text, it == confirms_.end() ? QString() : it->second.flag);
    }
    return *it->second.value == QStringLiteral("yes");
}

bool CliDialogs::inputQuery(const QString& caption, const QString& prompt, QString& value) {
    const auto it = inputs_.find(caption);
    if (it != inputs_.end() && !it->second.value && TerminalPrompt::available()) {
        it->second.value = TerminalPrompt::ask(QStringLiteral("%1 (%2): ").arg(caption, prompt),
                                               it->second.secret);
    }
    if (it == inputs_.end() || !it->second.value) {
        missing(caption + QStringLiteral(": ") + prompt,
                it == inputs_.end() ? QString() : it->second.flag);
    }
    value = *it->second.value;
    return true;
}

bool CliDialogs::openFile(FileDialogState& dialog) {
    if (!file_ || !file_->value) {
        missing(QStringLiteral("file name"), file_ ? file_->flag : QString());
    }
    dialog.fileName = *file_->value;
    return true;
}
