#include "Interpreter.h"

#include "FirmwareArea.h"

#include <QRegularExpression>
#include <optional>

namespace devsim {
namespace {

const QByteArray kUnknown = "ERR: unknown command\r\n";
const QByteArray kBadArgument = "ERR: bad argument\r\n";
const QByteArray kNoAccess = "ERR: no access\r\n";

// A decimal number of at most 9 digits and nothing else.
std::optional<long> decimal(const QByteArray& text) {
    if (text.isEmpty() || text.size() > 9) {
        return std::nullopt;
    }
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
    }
    return text.toLong();
}

QByteArray line(const QByteArray& text) {
    return text + "\r\n";
}

} // namespace

Interpreter::Interpreter(Device& device, FaultPlan* faults) : device_(device), faults_(faults) {}

void Interpreter::reset() {
    granted_ = false;
    hexMode_ = false;
    readCount_ = 16;
    position_ = 0;
    counter_ = 0;
}

bool Interpreter::accessAllowed() const {
    return device_.options.password.isEmpty() || granted_;
}

Reply Interpreter::handle(const QByteArray& command) {
    const qsizetype blank = command.indexOf(' ');
    const QByteArray keyword = blank < 0 ? command : command.left(blank);
    const QByteArray argument = blank < 0 ? QByteArray() : command.mid(blank + 1);
    long scratch = 0;
    if (keyword == "PASSWORD") {
        return password(argument);
    }
    if (keyword == "MODEM_CON") {
        return setFlag(keyword, argument, &modem_);
    }
    if (keyword == "PAGEHEXMODE") {
        return setFlag(keyword, argument, &hexMode_);
    }
    if (keyword == "DEBUG") {
        return setNumber(keyword, argument, 0, 9, &debug_);
    }
    if (keyword == "SILENCETIME") {
        return setNumber(keyword, argument, 0, 100000000, &silence_);
    }
    if (keyword == "WRITECOUNTER") {
        scratch = long(counter_);
        Reply reply = setNumber(keyword, argument, 0, 999999999, &scratch);
        counter_ = std::uint32_t(scratch);
        return reply;
    }
    if (keyword == "PAGECOUNT") {
        return setNumber(keyword, argument, 1, kMaxReadCount, &readCount_);
    }
    if (keyword == "PAGENUM") {
        return pageNumber(argument);
    }
    if (keyword == "PAGEADDR") {
        return pageAddress(argument);
    }
    if (keyword == "PAGEWRITE") {
        return pageWrite(argument);
    }
    if (keyword == "PAGEREAD" && argument.isEmpty()) {
        return pageRead();
    }
    if (keyword == "REPROGRAMM") {
        return reprogram(argument);
    }
    if (command == "RESET") {
        return {line("RESET"), false, true};
    }
    if (command == "VER") {
        return {line("VER " + device_.options.version + " " + device_.options.unitType)};
    }
    return {kUnknown};
}

Reply Interpreter::password(const QByteArray& argument) {
    const QByteArray& expected = device_.options.password;
    if (expected.isEmpty() || (!argument.isEmpty() && argument == expected)) {
        granted_ = true;
        return {line("PASSWORD: access granted")};
    }
    granted_ = false;
    return {line("PASSWORD: access denied")};
}

Reply Interpreter::setFlag(const QByteArray& keyword, const QByteArray& argument, bool* flag) {
    if (argument == "TRUE" || argument == "FALSE") {
        *flag = argument == "TRUE";
    } else if (!argument.isEmpty()) {
        return {kBadArgument};
    }
    return {line(keyword + "=" + (*flag ? "TRUE" : "FALSE"))};
}

Reply Interpreter::setNumber(const QByteArray& keyword, const QByteArray& argument, long low,
                             long high, long* value) {
    if (!argument.isEmpty()) {
        const std::optional<long> number = decimal(argument);
        if (!number || *number < low || *number > high) {
            return {kBadArgument};
        }
        *value = *number;
    }
    return {line(keyword + "=" + QByteArray::number(*value))};
}

Reply Interpreter::pageNumber(const QByteArray& argument) {
    long number = page();
    Reply reply = setNumber("PAGENUM", argument, 0, device_.storage.pages() - 1, &number);
    position_ = qsizetype(number) * StorageMemory::kPageSize + address();
    return reply;
}

Reply Interpreter::pageAddress(const QByteArray& argument) {
    long number = address();
    Reply reply = setNumber("PAGEADDR", argument, 0, StorageMemory::kPageSize - 1, &number);
    position_ = qsizetype(page()) * StorageMemory::kPageSize + number;
    return reply;
}

Reply Interpreter::pageWrite(const QByteArray& argument) {
    if (!accessAllowed()) {
        return {kNoAccess};
    }
    QByteArray data = argument;
    if (hexMode_) {
        static const QRegularExpression kHexPairs("^([0-9A-Fa-f]{2})+$");
        if (!kHexPairs.match(QString::fromLatin1(argument)).hasMatch()) {
            return {line("ERR: bad hex data")};
        }
        data = QByteArray::fromHex(argument);
    }
    if (data.isEmpty()) {
        return {kBadArgument};
    }
    if (!device_.storage.write(position_, data)) {
        return {line("ERR: storage full")};
    }
    position_ += data.size();
    ++counter_;
    const std::uint32_t reported =
        (faults_ != nullptr && faults_->wrongCounter()) ? counter_ + 1 : counter_;
    const QByteArray text = "OK STR:" + QByteArray::number(reported) +
                            " NUM:" + QByteArray::number(page()) +
                            " ADDR:" + QByteArray::number(address());
    return {line(text), true, false};
}

Reply Interpreter::pageRead() {
    if (!accessAllowed()) {
        return {kNoAccess};
    }
    const QByteArray data = device_.storage.read(position_, readCount_);
    position_ += data.size();
    return {line(hexMode_ ? data.toHex().toUpper() : data)};
}

Reply Interpreter::reprogram(const QByteArray& argument) {
    if (argument != "W") {
        return {kBadArgument};
    }
    if (!accessAllowed()) {
        return {kNoAccess};
    }
    const FirmwareCheck check = checkFirmwareArea(device_.storage, kFirmwarePage, kTextAddress);
    if (check.verdict != FirmwareCheck::Verdict::Good) {
        return {line("BAD " + check.detail)};
    }
    device_.flash.erase();
    for (const RecordLine& record : check.records) {
        if (record.isData()) {
            device_.flash.write(record.address, record.data);
        }
    }
    device_.publishImage();
    return {line("GOOD")};
}

} // namespace devsim
