#pragma once

#include "core/Questions.h"

class Dialogs;
struct FileDialogState;

// The questions asked with the loader's dialogs, in the window's words: a yes/no box for the
// start and three input boxes for a position (Escape on any of them cancels the operation),
// the password box, and the file dialog.
class DialogQuestions : public Questions {
public:
    // The file dialog starts from the state it was left in (folder, name, filter) and keeps
    // the choice.
    DialogQuestions(Dialogs& dialogs, FileDialogState& fileDialog)
        : dialogs_(dialogs), fileDialog_(fileDialog) {}

    Start startPosition(const ResumePosition& current) override;
    QString password() override;
    std::optional<QString> fileToWrite() override;

private:
    std::optional<std::uint16_t> askNumber(const QString& caption, const QString& prompt,
                                           std::uint16_t current);
    static Start cancelledAt(const ResumePosition& current);

    Dialogs& dialogs_;
    FileDialogState& fileDialog_;
};
