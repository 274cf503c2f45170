#include "FileSelection.h"

#include "FirmwareCheckPresenter.h"
#include "FirmwareImage.h"
#include "core/Loader.h"

#include <QFileInfo>

void setEdName(Loader& loader, const QString& text) {
    if (loader.form.edName.text == text) {
        return;
    }
    loader.form.edName.text = text;
    edNameChange(loader);
}

void edNameChange(Loader& loader) {
    const QString& name = loader.form.edName.text;
    loader.form.btnHeaderEdit.enabled = !name.isEmpty() && QFileInfo(name).isFile();
}

void btnOpenClick(Loader& loader, bool fromButton) {
    FileDialogState& dialog = loader.form.OpenDialog1;
    if (fromButton && !loader.dialogs.openFile(dialog)) {
        return;
    }
    if (!dialog.fileName.isEmpty()) {
        setEdName(loader, dialog.fileName);
    } else {
        dialog.fileName = loader.form.edName.text;
    }
    loader.state.FirmwareFilePath = dialog.fileName;
    const FirmwareImage image = FirmwareImage::load(dialog.fileName);
    if (!CheckFirmwareOnForm(loader, image)) {
        dialog.fileName.clear();
        loader.state.FirmwareFilePath.clear();
        setEdName(loader, QString());
    }
}
