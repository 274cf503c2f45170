#pragma once

#include "core/Questions.h"

#include <QString>
#include <optional>

// The operation's questions answered from the shell's options: --from-start or --resume for
// the start of an upload, --password, the read-back's OUT. A password no option gave is asked
// on the terminal without echo when standard input is one. A question still unanswered stops
// the operation with a usage error that names its option.
class CliQuestions : public Questions {
public:
    std::optional<Start> start;
    std::optional<QString> password_;
    std::optional<QString> file;

    Start startPosition(const ResumePosition& current) override;
    QString password() override;
    std::optional<QString> fileToWrite() override;

    // The first question no option answered, as a message for the user; empty when none.
    const QString& missingAnswer() const { return missingAnswer_; }

private:
    [[noreturn]] void missing(const QString& question, const QString& option);

    QString missingAnswer_;
};
