// Reading the stored firmware back: the taking rules that rebuild the records from whatever
// the controller's text reads return. The input's first two bytes give the stored length, the
// rest, cut at each 0xFF byte, are the answers to the text reads in order.
#include "FuzzSupport.h"
#include "ScriptedInterpreter.h"
#include "TestLoader.h"
#include "core/OperationRequest.h"
#include "core/Questions.h"
#include "procedures/Procedures.h"

namespace {

// The read-back's questions: the text goes to the null device, which takes it without a file
// being made, renamed or left behind, so every run starts from the same folder.
class NullDeviceQuestions : public Questions {
public:
    Start startPosition(const ResumePosition&) override { return {}; }
    QString password() override { return QString(); }
    std::optional<QString> fileToWrite() override { return QStringLiteral("/dev/null"); }
};

// One loader, its procedures and its controller for the whole run: building them for every
// input would cost far more than the read-back itself. What a run leaves behind is cleared
// before the next (see reset), so every input starts alike.
struct ReadBackRig {
    ReadBackRig() {
        // The zone's rules would be read from disk at every look at the clock.
        qputenv("TZ", "UTC");
        interpreter.answerDelayMs = 1;
        // Each answer comes in one piece, or none comes (an empty one): the waits decide
        // nothing here. The fast exchange ends a whole answer at once, a short gap one the rules
        // do not find whole, and a short time-out the silence, which the 80 s default would
        // make thousands of timer ticks long.
        loader.form().mnuFastExchange.checked = true;
        loader.loader.setAnswerGap(20);
        loader.loader.setAnswerTimeout(200);
        loader.state().OperationMode = Operation::ReadBack;
    }

    void reset(std::uint32_t length) {
        loader.runtime.dropPosted();
        loader.runtime.limitTimeFromNow(24ULL * 3600 * 1000);
        loader.device.written.clear();
        loader.device.writtenKinds.clear();
        loader.form().terminal.lines.clear();
        resetInterpreter();
        QByteArray descriptor;
        for (int i = 0; i < 4; ++i) {
            descriptor.append(char(length >> (8 * i)));
        }
        interpreter.store(0, descriptor.append(char(0x34)).append(char(0x12)));
    }

    // The controller as it starts. A read-back only reads, so its storage memory holds what
    // the first run found there, but for the descriptor each run puts in (checked in run).
    void resetInterpreter() {
        ScriptedInterpreter& i = interpreter;
        i.page = 0;
        i.addr = 0;
        i.hexMode = false;
        i.readCount = 16;
        i.lineCounter = 0;
        i.unlocked = false;
        i.commands.clear();
    }

    // The read-back as the operation driver runs it, within an open connection, less the
    // journal entry and the outcome's texts that follow it: those cost more than the
    // procedure and take nothing from the controller's answers.
    void run() {
        loader.openConnection();
        loader.state().OperationActive = true;
        procedures.readBack.ReadBackStorage(request);
        loader.loader.driver.CloseConnection();
        FUZZ_CHECK(interpreter.writes == 0);
    }

    InMemoryTemporaryFolders inMemory;
    TestLoader loader;
    NullDeviceQuestions questions;
    Procedures procedures{loader.loader, &questions};
    ScriptedInterpreter interpreter{loader.device};
    const OperationRequest request =
        OperationRequest::fromForm(Operation::ReadBack, loader.form(), loader.state());
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
    rig.run();
    const ReadBackProcedure& readBack = rig.procedures.readBack;
    FUZZ_CHECK(readBack.outcome() != ReadBackProcedure::Outcome::None);
    FUZZ_CHECK(readBack.taken() <= length);
    return 0;
}
