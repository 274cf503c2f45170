#pragma once

#include "core/Dialogs.h"

#include <QString>

// The message boxes of the shell: errors and information go to standard error. The operation's
// questions are the shell's options (CliQuestions); any other question the core would ask in a
// box has no option and stops the operation with a usage error. The shell never waits for a
// window.
class CliDialogs : public Dialogs {
public:
    void showError(const QString& text, const QString& caption) override;
    void showInformation(const QString& text) override;
    bool confirm(const QString& text) override;
    bool inputQuery(const QString& caption, const QString& prompt, QString& value) override;
    bool openFile(FileDialogState& dialog) override;

    bool quiet = false;

private:
    [[noreturn]] static void unanswered(const QString& question);
};
