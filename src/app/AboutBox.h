#pragma once

#include <QDialog>

// The About window (TAboutBox): the program icon, its purpose and version, and an OK button.
class AboutBox : public QDialog {
    Q_OBJECT
public:
    explicit AboutBox(QWidget* parent = nullptr);

    // The version text, also shown in the main window's caption.
    QString versionText() const;

private:
    QString version_;
};
