#pragma once

#include "core/Questions.h"

class Dialogs;

// The questions asked with the loader's dialogs, in the window's words: a yes/no box for the
// start, three input boxes for a position (each cancelled box keeps the first position's
// value), the password box, and the file dialog.
class DialogQuestions : public Questions {
public:
    explicit DialogQuestions(Dialogs& dialogs) : dialogs_(dialogs) {}

    Start startPosition(const ResumePosition& current) override;
    QString password() override;
    bool fileToWrite(FileDialogState& dialog) override;

private:
    std::uint16_t askNumber(const QString& caption, const QString& prompt, std::uint16_t current,
                            std::uint16_t cancelled);

    Dialogs& dialogs_;
};
