#include "HeaderEditing.h"

#include "FirmwareImage.h"
#include "WriteHeaderRecord.h"
#include "core/Loader.h"

#include <QFileInfo>

void btnHeaderEditClick(Loader& loader) {
    static const QString edit = QStringLiteral("Редактировать");
    static const QString save = QStringLiteral("Сохранить");
    ButtonControl& button = loader.form.btnHeaderEdit;
    EditControl& field = loader.form.edtUnitSign;
    // The field's colour follows its enabled state: the hint colour while it is edited,
    // greyed otherwise.
    if (button.caption == edit) {
        button.caption = save;
        field.enabled = true;
        return;
    }
    const QString path = loader.form.edName.text;
    if (path.isEmpty() || !QFileInfo(path).isFile()) {
        return;
    }
    FirmwareImage image = FirmwareImage::load(path);
    button.caption = edit;
    field.enabled = false;
    WriteHeaderRecord(loader, image);
    image.save(path);
}
