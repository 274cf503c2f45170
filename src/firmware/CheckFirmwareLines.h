#pragma once

class FirmwareImage;
class Loader;

// Checks every line of the image in order: its form ("S", a decimal record type, a count and
// as many hex byte pairs as the count says) and its checksum. On the way it rebuilds the
// header text (edtUnitSign) from the S0 records and HeaderLineIndex (the tag of edtUnitSign),
// and writes its progress and verdict into status panel 3. True only when the image is not
// empty and every line passed.
bool CheckFirmwareLines(Loader& loader, const FirmwareImage& image);
