// Reading the stored firmware back: the taking rules that rebuild the records from whatever
// the controller's text reads return. The input's first two bytes give the stored length, the
// rest, cut at each 0xFF byte, are the answers to the text reads in order.
#include "FuzzSupport.h"
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

// The controller as the read-back meets it: every setting echoed, the access granted, the
// descriptor's six bytes in hexadecimal, and the text reads answered from the input (an empty
// answer is silence). Lighter than the tests' scripted interpreter, whose command parsing and
// memory would cost more than the procedure under test.
class ReadBackController {
public:
    explicit ReadBackController(ScriptedDevice& device) : device_(device) {
        device_.onWrite = [this](const QByteArray& command) {
            const QByteArray reply = answer(command);
            if (!reply.isEmpty()) {
                device_.deliver(reply, 1);
            }
        };
    }

    void start(std::uint32_t length, QByteArrayList answers) {
        QByteArray descriptor;
        for (int i = 0; i < 4; ++i) {
            descriptor.append(char(length >> (8 * i)));
        }
        descriptor_ = descriptor.append(char(0x34)).append(char(0x12)).toHex().toUpper() + "\r\n";
        answers_ = std::move(answers);
        hexMode_ = false;
    }

private:
    QByteArray answer(const QByteArray& command) {
        if (command == "PAGEREAD") {
            return hexMode_ ? descriptor_ : nextAnswer();
        }
        if (command == "PASSWORD") {
            return command + "\r\naccess granted\r\n";
        }
        if (command.startsWith("PAGEHEXMODE ")) {
            hexMode_ = command.endsWith(" TRUE");
        }
        return command + "\r\n";
    }

    // An input's answers run out in an empty line, which ends the read.
    QByteArray nextAnswer() {
        return answers_.isEmpty() ? QByteArray("\r\n") : answers_.takeFirst();
    }

    ScriptedDevice& device_;
    QByteArray descriptor_;
    QByteArrayList answers_;
    bool hexMode_ = false;
};

// One loader, its procedures and its controller for the whole run: building them for every
// input would cost far more than the read-back itself. What a run leaves behind is cleared
// before the next (see start), so every input starts alike.
struct ReadBackRig {
    ReadBackRig() {
        // The zone's rules would be read from disk at every look at the clock.
        qputenv("TZ", "UTC");
        // Each answer comes in one piece, or none comes (an empty one): the waits decide
        // nothing here. The fast exchange ends a whole answer at once, a short gap one the rules
        // do not find whole, and a short time-out the silence, which the 80 s default would
        // make thousands of timer ticks long.
        loader.form().mnuFastExchange.checked = true;
        loader.loader.setAnswerGap(20);
        loader.loader.setAnswerTimeout(200);
        loader.state().OperationMode = Operation::ReadBack;
    }

    // The read-back as the operation driver runs it, within an open connection, less the
    // journal entry and the outcome's texts that follow it: those cost more than the
    // procedure and take nothing from the controller's answers.
    void run(std::uint32_t length, QByteArrayList answers) {
        loader.runtime.dropPosted();
        loader.runtime.limitTimeFromNow(24ULL * 3600 * 1000);
        loader.device.written.clear();
        loader.device.writtenKinds.clear();
        loader.form().terminal.lines.clear();
        controller.start(length, std::move(answers));
        loader.openConnection();
        loader.state().OperationActive = true;
        procedures.readBack.ReadBackStorage(request);
        loader.loader.driver.CloseConnection();
    }

    InMemoryTemporaryFolders inMemory;
    TestLoader loader;
    NullDeviceQuestions questions;
    Procedures procedures{loader.loader, &questions};
    ReadBackController controller{loader.device};
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
    rig.run(length, fuzzBytes(data + 2, size - 2).split('\xFF'));
    const ReadBackProcedure& readBack = rig.procedures.readBack;
    FUZZ_CHECK(readBack.outcome() != ReadBackProcedure::Outcome::None);
    FUZZ_CHECK(readBack.taken() <= length);
    return 0;
}
