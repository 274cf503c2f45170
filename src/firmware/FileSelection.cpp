#include "FileSelection.h"

#include "FirmwareCheckPresenter.h"
#include "FirmwareImage.h"
#include "core/Loader.h"

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

std::optional<FirmwareVerdict> btnOpenClick(Loader& loader, bool fromButton) {
    FileDialogState& dialog = loader.form.OpenDialog1;
    if (fromButton && !loader.dialogs.openFile(dialog)) {
        return std::nullopt;
    }
    if (!dialog.fileName.isEmpty()) {
        setEdName(loader.form, dialog.fileName);
    } else {
        dialog.fileName = loader.form.edName.text;
    }
    loader.state.FirmwareFilePath = dialog.fileName;
    const FirmwareImage image = FirmwareImage::load(dialog.fileName);
    FirmwareVerdict verdict = CheckFirmwareShown(loader, image);
    if (!verdict.sound()) {
        dialog.fileName.clear();
        loader.state.FirmwareFilePath.clear();
        setEdName(loader.form, QString());
    }
    return verdict;
}
