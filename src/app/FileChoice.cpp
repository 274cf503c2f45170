#include "FileChoice.h"

#include "FormModel.h"
#include "core/Loader.h"
#include "firmware/FileSelection.h"

#include <QFileInfo>

void setEdName(FormModel& form, const QString& text) {
    if (form.edName.text == text) {
        return;
    }
    form.edName.text = text;
    edNameChange(form);
}

void edNameChange(FormModel& form) {
    const QString& name = form.edName.text;
    form.btnHeaderEdit.enabled = !name.isEmpty() && QFileInfo(name).isFile();
}

std::optional<FirmwareVerdict> btnOpenClick(FormModel& form, Loader& loader, bool fromButton) {
    FileDialogState& dialog = loader.fileDialog;
    if (fromButton && !loader.dialogs.openFile(dialog)) {
        return std::nullopt;
    }
    if (!dialog.fileName.isEmpty()) {
        setEdName(form, dialog.fileName);
    } else {
        dialog.fileName = form.edName.text;
    }
    FirmwareVerdict verdict = chooseFirmware(loader, dialog.fileName);
    if (!verdict.sound()) {
        dialog.fileName.clear();
        setEdName(form, QString());
    }
    return verdict;
}
