#pragma once

struct FormModel;

// The handler of btnHeaderEdit, a toggle shown by its caption: "Редактировать" opens the
// header field for editing, "Сохранить" writes the field's text into the file named in edName
// as its header record and closes the field again. Saving when the file has gone does nothing.
// A file that cannot be read or written raises LoaderError; a failed write leaves the file as
// it was.
void btnHeaderEditClick(FormModel& form);
