#include "QtDialogs.h"

#include "MainWindowTexts.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QMessageBox>

namespace {

QString title(const QString& caption) {
    return caption.isEmpty() ? MainWindowTexts::title() : caption;
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

bool QtDialogs::inputQuery(const QString& caption, const QString& prompt, QString& value) {
    bool ok = false;
    const QString text =
        QInputDialog::getText(parent_, caption, prompt, QLineEdit::Normal, value, &ok);
    if (ok) {
        value = text;
    }
    return ok;
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
    QFileDialog box(parent_);
    // A name may be typed that does not exist yet: the read-back writes its file to the name
    // chosen here; opening a missing firmware file is reported by the file reader.
    box.setFileMode(QFileDialog::AnyFile);
    box.setAcceptMode(QFileDialog::AcceptOpen);
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
