// Firmware text from a file: line splitting and the check of every line's form and checksum.
#include "FuzzSupport.h"
#include "firmware/CheckFirmwareLines.h"
#include "firmware/FirmwareImage.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static FuzzLoader fuzz;
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
    const bool passed = CheckFirmwareLines(fuzz.loader, image);
    FUZZ_CHECK(!passed || !image.isEmpty());
    return 0;
}
