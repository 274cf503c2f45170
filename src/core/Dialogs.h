#pragma once

#include <QString>
#include <optional>

// What the file dialog OpenDialog1 remembers between uses (its filter choice, start folder and
// default extension are stored with the window's settings).
struct FileDialogState {
    QString fileName;
    QString filter = QStringLiteral("Motorola Records S28|*.s28|Motorola Records S37|*.s37");
    int filterIndex = 1;
    QString initialDir;
    QString defaultExt = QStringLiteral("*.s28");
};

// Every question and message box the core shows. The application answers with Qt dialogs, the
// shell front end with its flags, the tests with a scripted queue that records each question.
class Dialogs {
public:
    virtual ~Dialogs() = default;

    // A modal error box with one OK button; caption is the box's title.
    virtual void showError(const QString& text, const QString& caption = QString()) = 0;
    // A modal information box with one OK button.
    virtual void showInformation(const QString& text) = 0;
    // A yes/no confirmation; true for yes.
    virtual bool confirm(const QString& text) = 0;
    // A yes/no question that the engineer may also leave unanswered (Escape, or the box
    // closed): nothing then, and what it was asked for is not done. Where no front end tells
    // the two apart, a confirmation.
    virtual std::optional<bool> question(const QString& text) { return confirm(text); }
    // A text query with caption, prompt and initial text; false when cancelled, else value
    // holds the text as entered.
    virtual bool inputQuery(const QString& caption, const QString& prompt, QString& value) = 0;
    // The file dialog; false when cancelled, else dialog.fileName holds the chosen file.
    virtual bool openFile(FileDialogState& dialog) = 0;
    // The same dialog for a file to be written; where no front end tells the two apart, the
    // open dialog.
    virtual bool saveFile(FileDialogState& dialog) { return openFile(dialog); }
};
