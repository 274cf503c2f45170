#pragma once

#include "core/Dialogs.h"

#include <QPointer>
#include <QStringList>
#include <QWidget>

// The message boxes, the input box and the file dialog of the desktop application, shown over
// the main window.
class QtDialogs : public Dialogs {
public:
    void setParent(QWidget* parent) { parent_ = parent; }

    void showError(const QString& text, const QString& caption = QString()) override;
    void showInformation(const QString& text) override;
    bool confirm(const QString& text) override;
    std::optional<bool> question(const QString& text) override;
    bool inputQuery(const QString& caption, const QString& prompt, QString& value) override;
    bool openFile(FileDialogState& dialog) override;
    // The read-back's file: a save dialog, which asks before it replaces a file.
    bool saveFile(FileDialogState& dialog) override;

    // "Name|*.a|Other|*.b" as Qt's file dialog takes it: "Name (*.a);;Other (*.b)".
    static QStringList qtFilters(const QString& filter);

private:
    bool chooseFile(FileDialogState& dialog, bool forSaving);

    QPointer<QWidget> parent_;
};
