#pragma once

#include "core/Dialogs.h"

#include <QList>
#include <QString>
#include <deque>
#include <functional>
#include <optional>

// Dialogs for tests: every question and message is recorded word for word, and questions are
// answered from a queue the test fills. A question with no queued answer is answered "no" or
// "cancel", and counted in unanswered.
class ScriptedDialogs : public Dialogs {
public:
    struct Call {
        QString kind; // "error", "information", "confirm", "input", "file"
        QString text; // message, question or prompt
        QString caption;
        QString initial; // initial text of an input query, file name of a file dialog
    };

    void showError(const QString& text, const QString& caption) override;
    void showInformation(const QString& text) override;
    bool confirm(const QString& text) override;
    std::optional<bool> question(const QString& text) override;
    bool inputQuery(const QString& caption, const QString& prompt, QString& value) override;
    bool openFile(FileDialogState& dialog) override;

    void queueConfirm(bool yes) { confirms.push_back(yes); }
    // The next question is left unanswered, as Escape leaves it; a confirmation takes it as no.
    void queueEscape() { confirms.push_back(std::nullopt); }
    void queueInput(std::optional<QString> text) { inputs.push_back(std::move(text)); }
    void queueFile(std::optional<QString> path) { files.push_back(std::move(path)); }

    QList<Call> calls;
    int unanswered = 0;
    std::deque<std::optional<bool>> confirms;
    std::deque<std::optional<QString>> inputs;
    std::deque<std::optional<QString>> files;
    // Runs after each call is recorded (a test may cancel an operation from a message box).
    std::function<void(const Call&)> onCall;

private:
    void record(Call call);
};
