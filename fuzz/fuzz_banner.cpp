// The controller's restart text and the file's header: the device-type signatures and the
// rule by which a file fits a device.
#include "FuzzSupport.h"
#include "core/Cp1251.h"
#include "firmware/UnitSignature.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray answer = fuzzBytes(data, size);
    const QByteArray device = UnitSignature::DeviceSignature(answer);
    FUZZ_CHECK(device.isEmpty() || device.startsWith("UNIT:"));
    FUZZ_CHECK(!device.contains('\r') && !device.contains('\n') && !device.contains(' '));
    FUZZ_CHECK(device.isEmpty() || answer.contains(device));
    const QString header = UnitSignature::HeaderFirstWord(Cp1251::decode(answer));
    for (const QChar c : header) {
        FUZZ_CHECK(c.unicode() > 32);
    }
    UnitSignature::Fits(header, device);
    return 0;
}
