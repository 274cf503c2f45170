// Reading the stored firmware back: the taking rules that rebuild the records from whatever
// the controller's text reads return. The input's first two bytes give the stored length, the
// rest, cut at each 0xFF byte, are the answers to the text reads in order.
#include "FuzzSupport.h"
#include "ScriptedInterpreter.h"
#include "TestLoader.h"
#include "core/Crc16.h"
#include "core/UiTexts.h"
#include "procedures/Procedures.h"

#include <QDir>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) {
        return 0;
    }
    const std::uint32_t length = (std::uint32_t(data[0]) | std::uint32_t(data[1]) << 8) % 2000;
    QByteArrayList answers = fuzzBytes(data + 2, size - 2).split('\xFF');
    TestLoader t;
    Procedures procedures(t.loader);
    ScriptedInterpreter interpreter(t.device);
    t.state().OperationMode = Operation::ReadBack;
    QByteArray descriptor;
    for (int i = 0; i < 4; ++i) {
        descriptor.append(char(length >> (8 * i)));
    }
    descriptor.append(char(0x34)).append(char(0x12));
    interpreter.store(0, descriptor);
    interpreter.rewrite = [&](const QByteArray& command, QByteArray& answer) {
        if (command == "PAGEREAD" && !interpreter.hexMode) {
            answer = answers.isEmpty() ? QByteArray("\r\n") : answers.takeFirst();
        }
        return true;
    };
    const QString target = QDir(t.dataDir.path()).filePath(QStringLiteral("back.s37"));
    t.dialogs.queueFile(target);
    t.press();
    const ReadBackProcedure& readBack = procedures.readBack;
    FUZZ_CHECK(readBack.outcome() != ReadBackProcedure::Outcome::None);
    FUZZ_CHECK(readBack.taken() <= length);
    return 0;
}
