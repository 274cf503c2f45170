#pragma once

struct EditControl;
class FirmwareImage;

// Puts the header text of the header field (edtUnitSign) into the image as header records: where
// the header was (HeaderLineIndex, the tag of edtUnitSign), or as the last line when the image has
// none, and updates HeaderLineIndex. An empty header text leaves the image as it is.
void WriteHeaderRecord(EditControl& field, FirmwareImage& image);
