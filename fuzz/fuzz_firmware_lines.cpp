// Firmware text from a file: line splitting and the check of every line's form and checksum.
#include "FuzzSupport.h"
#include "firmware/CheckFirmwareLines.h"
#include "firmware/FirmwareImage.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray text = fuzzBytes(data, size);
    const FirmwareImage image = FirmwareImage::fromText(text);
    // Every line is a slice of the text, none holds a line break.
    qsizetype total = 0;
    for (qsizetype i = 0; i < image.size(); ++i) {
        const QByteArrayView line = image.line(i);
        FUZZ_CHECK(!line.contains('\n') && !line.contains('\r'));
        total += line.size();
    }
    FUZZ_CHECK(total <= text.size());
    const FirmwareVerdict verdict = CheckFirmwareLines(image);
    FUZZ_CHECK(!verdict.sound() || !image.isEmpty());
    FUZZ_CHECK(verdict.sound() == (verdict.badLine < 0 && !image.isEmpty()));
    // A NUL that began a line of its own is refused at the line after the last.
    FUZZ_CHECK(verdict.badLine < image.size() || verdict.badLine == image.nulLine());
    FUZZ_CHECK(verdict.headerLine < image.size());
    FUZZ_CHECK(image.nulLine() < 0 || !verdict.sound());
    FUZZ_CHECK(verdict.headerLine <= verdict.badLine || verdict.badLine < 0);
    return 0;
}
