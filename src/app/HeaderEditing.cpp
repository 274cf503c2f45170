#include "HeaderEditing.h"

#include "FormModel.h"
#include "firmware/FirmwareImage.h"
#include "firmware/WriteHeaderRecord.h"

#include <QFileInfo>

void btnHeaderEditClick(FormModel& form) {
    static const QString edit = QStringLiteral("Редактировать");
    static const QString save = QStringLiteral("Сохранить");
    ButtonControl& button = form.btnHeaderEdit;
    EditControl& field = form.edtUnitSign;
    // The field's colour follows its enabled state: the hint colour while it is edited,
    // greyed otherwise.
    if (button.caption == edit) {
        button.caption = save;
        field.enabled = true;
        return;
    }
    const QString path = form.edName.text;
    if (path.isEmpty() || !QFileInfo(path).isFile()) {
        return;
    }
    FirmwareImage image = FirmwareImage::load(path);
    button.caption = edit;
    field.enabled = false;
    field.tag = int(WriteHeaderRecord(field.text, field.tag, image));
    image.save(path);
}
