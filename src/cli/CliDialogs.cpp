#include "cli/CliDialogs.h"

#include "cli/ProgressDisplay.h"
#include "cli/ShellOutput.h"
#include "cli/UsageError.h"

#include <cstdio>

namespace {

void printLine(const QString& prefix, const QString& text) {
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"))
        .replace(QLatin1Char('\r'), QLatin1Char('\n'));
    ProgressDisplay::clearLine();
    ShellOutput::print(stderr, prefix + shown + QLatin1Char('\n'));
}

} // namespace

void CliDialogs::unanswered(const QString& question) {
    throw UsageError(
        QStringLiteral("the loader asks \"%1\" and no option answers it").arg(question));
}

void CliDialogs::showError(const QString& text, const QString& caption) {
    Q_UNUSED(caption);
    printLine(QStringLiteral("velkor-cli: error: "), text);
}

void CliDialogs::showInformation(const QString& text) {
    if (!quiet) {
        printLine(QStringLiteral("velkor-cli: "), text);
    }
}

bool CliDialogs::confirm(const QString& text) {
    unanswered(text);
}

bool CliDialogs::inputQuery(const QString& caption, const QString& prompt, QString&) {
    unanswered(caption + QStringLiteral(": ") + prompt);
}

bool CliDialogs::openFile(FileDialogState&) {
    unanswered(QStringLiteral("file name"));
}
