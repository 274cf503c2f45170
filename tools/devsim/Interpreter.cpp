#include "Interpreter.h"

#include "FirmwareArea.h"

#include <QRegularExpression>
#include <optional>

namespace devsim {
namespace {

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

} // namespace

Interpreter::Interpreter(Device& device, FaultPlan* faults) : device_(device), faults_(faults) {}

void Interpreter::reset() {
    granted_ = false;
    hexMode_ = false;
    readCount_ = 16;
    position_ = 0;
    atPageEnd_ = false;
    counter_ = 0;
}

int Interpreter::page() const {
    return int(position_ / pageSize()) - (atPageEnd_ ? 1 : 0);
}

int Interpreter::address() const {
    return atPageEnd_ ? pageSize() : int(position_ % pageSize());
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
        return {dialect().line("RESET"), false, true};
    }
    if (command == "VER") {
        return {dialect().line("VER " + device_.options.version + " " + device_.options.unitType)};
    }
    return {dialect().interpreterError("unknown command")};
}

Reply Interpreter::password(const QByteArray& argument) {
    const QByteArray& expected = device_.options.password;
    if (expected.isEmpty() || (!argument.isEmpty() && argument == expected)) {
        granted_ = true;
        return {dialect().line("PASSWORD: access granted")};
    }
    granted_ = false;
    return {dialect().line("PASSWORD: access denied")};
}

Reply Interpreter::setFlag(const QByteArray& keyword, const QByteArray& argument, bool* flag) {
    if (argument == "TRUE" || argument == "FALSE") {
        *flag = argument == "TRUE";
    } else if (!argument.isEmpty()) {
        return {dialect().interpreterError("bad argument")};
    }
    return {dialect().setting(keyword, *flag ? "TRUE" : "FALSE")};
}

Reply Interpreter::setNumber(const QByteArray& keyword, const QByteArray& argument, long low,
                             long high, long* value) {
    if (!argument.isEmpty()) {
        const std::optional<long> number = decimal(argument);
        if (!number || *number < low || *number > high) {
            return {dialect().interpreterError("bad argument")};
        }
        *value = *number;
    }
    return {dialect().setting(keyword, *value)};
}

Reply Interpreter::pageNumber(const QByteArray& argument) {
    long number = page();
    Reply reply = setNumber("PAGENUM", argument, 0, device_.storage.pages() - 1, &number);
    position_ = qsizetype(number) * pageSize() + address();
    return reply;
}

Reply Interpreter::pageAddress(const QByteArray& argument) {
    long number = address();
    Reply reply = setNumber("PAGEADDR", argument, 0, pageSize() - 1, &number);
    position_ = qsizetype(page()) * pageSize() + number;
    atPageEnd_ = false;
    return reply;
}

Reply Interpreter::pageWrite(const QByteArray& argument) {
    if (!accessAllowed()) {
        return {dialect().interpreterError("no access")};
    }
    QByteArray data = argument;
    if (hexMode_) {
        static const QRegularExpression kHexPairs("^([0-9A-Fa-f]{2})+$");
        if (!kHexPairs.match(QString::fromLatin1(argument)).hasMatch()) {
            return {dialect().interpreterError("bad hex data")};
        }
        data = QByteArray::fromHex(argument);
    }
    if (data.isEmpty()) {
        return {dialect().interpreterError("bad argument")};
    }
    if (!device_.storage.write(position_, data)) {
        return {dialect().interpreterError("storage full")};
    }
    position_ += data.size();
    atPageEnd_ = dialect().pageEnd && position_ % pageSize() == 0;
    ++counter_;
    const std::uint32_t reported =
        (faults_ != nullptr && faults_->wrongCounter()) ? counter_ + 1 : counter_;
    Reply reply{writeConfirmation(reported), true, false};
    reply.slow = true;
    return reply;
}

QByteArray Interpreter::writeConfirmation(std::uint32_t counter) const {
    QByteArray text = "OK STR:" + QByteArray::number(counter);
    if (!dialect().strOnly) {
        text += " NUM:" + QByteArray::number(page()) + " ADDR:" + QByteArray::number(address());
    }
    return dialect().line(text);
}

Reply Interpreter::pageRead() {
    if (!accessAllowed()) {
        return {dialect().interpreterError("no access")};
    }
    const QByteArray data = device_.storage.read(position_, readCount_);
    position_ += data.size();
    atPageEnd_ = false;
    return {dialect().line(hexMode_ ? data.toHex().toUpper() : data)};
}

Reply Interpreter::reprogram(const QByteArray& argument) {
    if (argument != "W") {
        return {dialect().interpreterError("bad argument")};
    }
    if (!accessAllowed()) {
        return {dialect().interpreterError("no access")};
    }
    Reply reply{dialect().line("GOOD")};
    reply.slow = true;
    const FirmwareCheck check = checkFirmwareArea(device_.storage, kFirmwarePage, kTextAddress);
    if (check.verdict != FirmwareCheck::Verdict::Good) {
        reply.text = dialect().line("BAD " + check.detail);
        return reply;
    }
    device_.flash.erase();
    for (const RecordLine& record : check.records) {
        if (record.isData()) {
            device_.flash.write(record.address, record.data);
        }
    }
    device_.publishImage();
    return reply;
}

} // namespace devsim
