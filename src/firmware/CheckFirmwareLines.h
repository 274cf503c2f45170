#pragma once

#include <QString>
#include <QStringList>

class FirmwareImage;

// What the check of a firmware image found. Status panel 3 shows statusTexts() in turn; the
// header field (edtUnitSign) shows header, with headerLine as its tag, except after a badly
// formed line or a NUL byte, which leave the field empty.
struct FirmwareVerdict {
    enum class Kind { Sound, Empty, BadForm, BadChecksum, NulByte };

    Kind kind = Kind::Empty;
    qsizetype badLine = -1; // the line refused, -1 when none was
    // "Файл в порядке", or the refusal with the index of the line; empty for an empty image.
    QString message;
    QString header;            // the S0 records' text read before the verdict
    qsizetype headerLine = -1; // the first S0 record with bytes, -1 without one

    bool sound() const { return kind == Kind::Sound; }
    // A refusal of the file's form rather than of a checksum: "Файл поврежден..." follows it.
    bool damaged() const { return kind == Kind::BadForm || kind == Kind::NulByte; }
    // The status texts of the check, in the order they are shown; none for an empty image.
    QStringList statusTexts() const;
    // The text status panel 3 is left with (empty for an empty image).
    QString finalStatus() const;
    // The header text and line the field keeps once the verdict is shown.
    QString keptHeader() const;
    qsizetype keptHeaderLine() const;
};

// Checks every line of the image in order: its form ("S", a decimal record type, a count and
// as many hex byte pairs as the count says) and its checksum, stopping at the first line that
// fails; the line a NUL byte ended the text in is refused as it is reached, so a file is never
// taken for the part before its NUL. On the way it gathers the header text from the S0 records.
// Sound only when the image is not empty and every line passed.
FirmwareVerdict CheckFirmwareLines(const FirmwareImage& image);
