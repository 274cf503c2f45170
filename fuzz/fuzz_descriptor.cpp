// The storage descriptor read from the controller: twelve hexadecimal digits, or a conversion
// error; what decodes encodes back to the same value.
#include "FuzzSupport.h"
#include "core/LoaderError.h"
#include "procedures/StorageDescriptor.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray text = fuzzBytes(data, size);
    if (text.size() < StorageDescriptor::kDigits) {
        return 0;
    }
    try {
        const StorageDescriptor d = StorageDescriptor::decode(text);
        const StorageDescriptor again = StorageDescriptor::decode(d.encode());
        FUZZ_CHECK(again.length == d.length && again.crc == d.crc);
    } catch (const LoaderError&) {
    }
    return 0;
}
