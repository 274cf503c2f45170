#pragma once

#include "core/Dialogs.h"

#include <QString>
#include <QStringList>
#include <map>
#include <optional>

// The dialogs of the shell: message boxes go to standard error, and every question is
// answered by a flag. A text question without its flag is asked on the terminal when standard
// input is one (a secret one without echo); otherwise, and for every other question, a missing
// flag stops the operation with a usage error that names the flag. The shell never waits for a
// window.
class CliDialogs : public Dialogs {
public:
    // The answer to a yes/no question, given by the flag named.
    void setConfirm(const QString& question, const QString& flag, std::optional<bool> yes);
    // The answer to a text query (matched by its caption), given by the flag named; a secret
    // one (a password) is read without echo when it is asked on the terminal.
    void setInput(const QString& caption, const QString& flag, std::optional<QString> text,
                  bool secret = false);
    // The file the file dialog would choose, given by the argument named.
    void setFile(const QString& flag, std::optional<QString> path);

    void showError(const QString& text, const QString& caption) override;
    void showInformation(const QString& text) override;
    bool confirm(const QString& text) override;
    bool inputQuery(const QString& caption, const QString& prompt, QString& value) override;
    bool openFile(FileDialogState& dialog) override;

    // The first question no flag answered, as a message for the user; empty when none.
    const QString& missingAnswer() const { return missingAnswer_; }
    // The error boxes shown, in order.
    const QStringList& errorsShown() const { return errorsShown_; }
    bool quiet = false;

private:
    struct Answer {
        QString flag;
        std::optional<QString> value;
        bool secret = false;
    };
    [[noreturn]] void missing(const QString& question, const QString& flag);

    std::map<QString, Answer> confirms_;
    std::map<QString, Answer> inputs_;
    std::optional<Answer> file_;
    QString missingAnswer_;
    QStringList errorsShown_;
};
