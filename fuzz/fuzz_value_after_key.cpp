// Numbers in the controller's answers and in typed fields: the value after a key, the echo of
// a number, and whole numbers typed by the user.
#include "FuzzSupport.h"
#include "core/Cp1251.h"
#include "core/LoaderError.h"
#include "procedures/InterpreterAnswer.h"
#include "procedures/WholeNumber.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const QByteArrayView kKeys[] = {"STR:", "NUM:", "ADDR:", ""};
    if (size == 0) {
        return 0;
    }
    const QByteArrayView key = kKeys[data[0] % 4];
    const QByteArray answer = fuzzBytes(data + 1, size - 1);
    try {
        const auto value = InterpreterAnswer::valueAfterKey(answer, key);
        FUZZ_CHECK(!value || answer.contains(key.toByteArray()));
    } catch (const LoaderError&) {
    }
    InterpreterAnswer::containsNumber(answer, std::int64_t(size) - 100);
    try {
        const std::int32_t typed = WholeNumber::parse(Cp1251::decode(answer));
        // A typed number reads back as itself.
        FUZZ_CHECK(WholeNumber::parse(QString::number(typed)) == typed);
    } catch (const LoaderError&) {
    }
    try {
        WholeNumber::parseDigits(answer);
    } catch (const LoaderError&) {
    }
    return 0;
}
