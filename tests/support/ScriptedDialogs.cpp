#include "ScriptedDialogs.h"

void ScriptedDialogs::record(Call call) {
    calls.append(call);
    if (onCall) {
        onCall(calls.constLast());
    }
}

void ScriptedDialogs::showError(const QString& text, const QString& caption) {
    record({QStringLiteral("error"), text, caption, QString()});
}

void ScriptedDialogs::showInformation(const QString& text) {
    record({QStringLiteral("information"), text, QString(), QString()});
}

bool ScriptedDialogs::confirm(const QString& text) {
    return question(text).value_or(false);
}

std::optional<bool> ScriptedDialogs::question(const QString& text) {
    record({QStringLiteral("confirm"), text, QString(), QString()});
    if (confirms.empty()) {
        ++unanswered;
        return false;
    }
    const std::optional<bool> answer = confirms.front();
    confirms.pop_front();
    return answer;
}

bool ScriptedDialogs::inputQuery(const QString& caption, const QString& prompt, QString& value) {
    record({QStringLiteral("input"), prompt, caption, value});
    if (inputs.empty()) {
        ++unanswered;
        return false;
    }
    const std::optional<QString> answer = inputs.front();
    inputs.pop_front();
    if (!answer) {
        return false;
    }
    value = *answer;
    return true;
}

bool ScriptedDialogs::openFile(FileDialogState& dialog) {
    record({QStringLiteral("file"), dialog.filter, QString(), dialog.fileName});
    if (files.empty()) {
        ++unanswered;
        return false;
    }
    const std::optional<QString> answer = files.front();
    files.pop_front();
    if (!answer) {
        return false;
    }
    dialog.fileName = *answer;
    return true;
}
