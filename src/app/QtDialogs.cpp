#include "QtDialogs.h"

#include "MainWindowTexts.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>

namespace {

QString title(const QString& caption) {
    return caption.isEmpty() ? MainWindowTexts::title() : caption;
}

// A small box gets a title bar too short for its caption, which the window manager then cuts
// ("Время…клика"): the box is made as wide as its caption (in the title bar's larger, bold
// font) and the buttons beside it.
int titleWidth(const QWidget& box, const QString& caption) {
    constexpr int kTitleButtons = 140;
    return box.fontMetrics().horizontalAdvance(caption) * 5 / 4 + kTitleButtons;
}

} // namespace

void QtDialogs::showError(const QString& text, const QString& caption) {
    QMessageBox::critical(parent_, title(caption), text);
}

void QtDialogs::showInformation(const QString& text) {
    QMessageBox::information(parent_, title(QString()), text);
}

bool QtDialogs::confirm(const QString& text) {
    return QMessageBox::question(parent_, title(QString()), text,
                                 QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

// The box shows "Да" and "Нет" as a confirmation does; Escape and the title bar's close button
// answer neither.
std::optional<bool> QtDialogs::question(const QString& text) {
    QMessageBox box(QMessageBox::Question, title(QString()), text, QMessageBox::NoButton, parent_);
    QAbstractButton* yes = box.addButton(QMessageBox::Yes);
    QAbstractButton* no = box.addButton(QMessageBox::No);
    QAbstractButton* none = box.addButton(QMessageBox::Cancel);
    none->hide();
    box.setEscapeButton(none);
    box.setDefaultButton(qobject_cast<QPushButton*>(yes));
    box.exec();
    if (box.clickedButton() == yes) {
        return true;
    }
    if (box.clickedButton() == no) {
        return false;
    }
    return std::nullopt;
}

bool QtDialogs::inputQuery(const QString& caption, const QString& prompt, QString& value) {
    QInputDialog box(parent_);
    box.setWindowTitle(caption);
    box.setLabelText(prompt);
    box.setTextValue(value);
    // The box sizes itself to its layout: the edit field carries the width.
    if (auto* edit = box.findChild<QLineEdit*>()) {
        edit->setMinimumWidth(titleWidth(box, caption));
    }
    if (box.exec() != QDialog::Accepted) {
        return false;
    }
    value = box.textValue();
    return true;
}

QStringList QtDialogs::qtFilters(const QString& filter) {
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        filters.append(QStringLiteral("%1 (%2)").arg(parts.at(i), parts.at(i + 1)));
    }
    return filters;
}

bool QtDialogs::openFile(FileDialogState& dialog) {
    return chooseFile(dialog, false);
}

bool QtDialogs::saveFile(FileDialogState& dialog) {
    return chooseFile(dialog, true);
}

bool QtDialogs::chooseFile(FileDialogState& dialog, bool forSaving) {
    QFileDialog box(parent_);
    // The firmware file must exist; the read-back's file is new or is replaced.
    box.setFileMode(forSaving ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    box.setAcceptMode(forSaving ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    const QStringList filters = qtFilters(dialog.filter);
    box.setNameFilters(filters);
    if (dialog.filterIndex >= 1 && dialog.filterIndex <= filters.size()) {
        box.selectNameFilter(filters.at(dialog.filterIndex - 1));
    }
    QString suffix = dialog.defaultExt;
    suffix.remove(QStringLiteral("*."));
    box.setDefaultSuffix(suffix);
    // The folder of the file chosen last, else the start folder.
    const QFileInfo current(dialog.fileName);
    box.setDirectory(!dialog.fileName.isEmpty() && current.absoluteDir().exists()
                         ? current.absolutePath()
                         : dialog.initialDir);
    if (box.exec() != QDialog::Accepted || box.selectedFiles().isEmpty()) {
        return false;
    }
    dialog.fileName = box.selectedFiles().constFirst();
    dialog.filterIndex = int(filters.indexOf(box.selectedNameFilter())) + 1;
    return true;
}
