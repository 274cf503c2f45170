// Reading the stored firmware back: the taking rules that rebuild the records from whatever
// the controller's text reads return. The input's first two bytes give the stored length, the
// rest, cut at each 0xFF byte, are the answers to the text reads in order.
#include "FuzzSupport.h"
#include "ScriptedInterpreter.h"
#include "TestLoader.h"
#include "core/UiTexts.h"
#include "procedures/Procedures.h"

#include <QDir>
#include <QFile>

namespace {

// One loader, its procedures and its data folder for the whole run: building them and the
// folder for every input would cost far more than the read-back itself. What a run leaves
// behind is cleared before the next (see reset), so every input starts alike.
struct ReadBackRig {
    ReadBackRig() {
        interpreter.answerDelayMs = 1;
        // Each answer comes in one piece, or none comes (an empty one): the waits decide
        // nothing here. The fast exchange ends a whole answer at once, a short gap one the rules
        // do not find whole, and a short time-out the silence, which the 80 s default would
        // make thousands of timer ticks long.
        loader.form().mnuFastExchange.checked = true;
        loader.loader.setAnswerGap(20);
        loader.loader.setAnswerTimeout(200);
    }

    void reset(std::uint32_t length) {
        loader.loader.driver.CloseConnection();
        loader.runtime.dropPosted();
        loader.runtime.limitTimeFromNow(24ULL * 3600 * 1000);
        loader.device.written.clear();
        loader.device.writtenKinds.clear();
        loader.dialogs = ScriptedDialogs();
        loader.state().OperationMode = Operation::ReadBack;
        resetInterpreter();
        QByteArray descriptor;
        for (int i = 0; i < 4; ++i) {
            descriptor.append(char(length >> (8 * i)));
        }
        interpreter.store(0, descriptor.append(char(0x34)).append(char(0x12)));
        // The journal gets an entry a run: it is started afresh now and then.
        if (++runs % 4096 == 0) {
            QFile::remove(loader.loader.journal.path());
        }
    }

    // The controller as it starts: its storage memory erased (kept, not made anew: a fresh
    // block of that size costs more than the run).
    void resetInterpreter() {
        ScriptedInterpreter& i = interpreter;
        i.memory.fill('\xFF');
        i.page = 0;
        i.addr = 0;
        i.hexMode = false;
        i.readCount = 16;
        i.lineCounter = 0;
        i.unlocked = false;
        i.writes = 0;
        i.commands.clear();
    }

    // The data folder in memory where the system has one: a run writes the file read back and
    // a journal entry, and each write to a disk waits for the disk.
    InMemoryTemporaryFolders inMemory;
    TestLoader loader;
    Procedures procedures{loader.loader};
    ScriptedInterpreter interpreter{loader.device};
    const QString target = QDir(loader.dataDir.path()).filePath(QStringLiteral("back.s37"));
    std::uint64_t runs = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) {
        return 0;
    }
    static ReadBackRig rig;
    const std::uint32_t length = (std::uint32_t(data[0]) | std::uint32_t(data[1]) << 8) % 2000;
    QByteArrayList answers = fuzzBytes(data + 2, size - 2).split('\xFF');
    rig.reset(length);
    ScriptedInterpreter& interpreter = rig.interpreter;
    interpreter.rewrite = [&](const QByteArray& command, QByteArray& answer) {
        if (command == "PAGEREAD" && !interpreter.hexMode) {
            answer = answers.isEmpty() ? QByteArray("\r\n") : answers.takeFirst();
        }
        return true;
    };
    rig.loader.dialogs.queueFile(rig.target);
    rig.loader.press();
    const ReadBackProcedure& readBack = rig.procedures.readBack;
    FUZZ_CHECK(readBack.outcome() != ReadBackProcedure::Outcome::None);
    FUZZ_CHECK(readBack.taken() <= length);
    return 0;
}
