#include "Controller.h"

#include "RecordLine.h"

namespace devsim {
namespace {

const QByteArray kPrompt = "\r\nBIOS>";
constexpr std::uint32_t kSectorSize = 4096;

QByteArray recordError(RecordError error) {
    switch (error) {
    case RecordError::Type:
        return "ERR TYPE\r\n";
    case RecordError::Length:
        return "ERR LEN\r\n";
    case RecordError::Checksum:
        return "ERR SUM\r\n";
    default:
        return "ERR FMT\r\n";
    }
}

} // namespace

Controller::Controller(Device& device, FaultPlan* faults)
    : device_(device), interpreter_(device, faults) {}

QByteArray Controller::banner() const {
    return "\r\nUNIT:" + device_.options.unitType + " " + device_.options.version +
           "\r\nBIOS: v2.07, i - loader\r\n";
}

void Controller::restart() {
    mode_ = Mode::Restarting;
    interpreter_.reset();
}

void Controller::boot() {
    restart();
    mode_ = Mode::Interpreter;
}

Reply Controller::handle(const QByteArray& command) {
    if (command == "RESET") {
        restart();
        return {"RESET\r\n", false, true};
    }
    switch (mode_) {
    case Mode::Restarting:
        if (command == "i") {
            mode_ = Mode::Bootloader;
            return {kPrompt};
        }
        mode_ = Mode::Interpreter;
        return interpreter_.handle(command);
    case Mode::Interpreter:
        return interpreter_.handle(command);
    case Mode::Bootloader:
    case Mode::Programming:
        return bootloader(command);
    }
    return {};
}

bool Controller::writes(const QByteArray& command) const {
    if (command == "RESET") {
        return false;
    }
    if (mode_ == Mode::Bootloader || mode_ == Mode::Programming) {
        return command.startsWith('S');
    }
    return command == "PAGEWRITE" || command.startsWith("PAGEWRITE ");
}

Reply Controller::bootloader(const QByteArray& command) {
    if (command == "i") {
        return {kPrompt};
    }
    if (command == "f") {
        device_.flash.erase();
        sectors_.clear();
        dataRecords_.clear();
        mode_ = Mode::Programming;
        return {"f ready\r\n"};
    }
    if (command.startsWith('S')) {
        return mode_ == Mode::Programming ? record(command) : Reply{"ERR SEQ\r\n"};
    }
    return {"ERR CMD\r\n"};
}

Reply Controller::record(const QByteArray& line) {
    const RecordResult result = parseRecordLine(line);
    if (!result.record) {
        return {recordError(result.error)};
    }
    const RecordLine& record = *result.record;
    if (record.isData()) {
        return dataRecord(record);
    }
    if (record.isCount()) {
        return countRecord(record);
    }
    if (record.isEnd()) {
        return endRecord();
    }
    return {"w"}; // the header: taken, not stored
}

Reply Controller::dataRecord(const RecordLine& record) {
    device_.flash.write(record.address, record.data);
    dataRecords_.insert(record.address);
    // A record that reaches into a sector not touched before makes the bootloader erase it,
    // which it reports with "@" instead of "w".
    const std::uint32_t first = record.address / kSectorSize;
    const std::uint32_t last =
        (record.address + std::uint32_t(std::max<qsizetype>(record.data.size(), 1)) - 1) /
        kSectorSize;
    bool erased = false;
    for (std::uint32_t sector = first; sector <= last && sector >= first; ++sector) {
        erased = sectors_.insert(sector).second || erased;
    }
    return {erased ? "@" : "w"};
}

Reply Controller::countRecord(const RecordLine& record) {
    const auto written = std::uint32_t(dataRecords_.size());
    if (record.address != (written & (record.type == 5 ? 0xFFFFU : 0xFFFFFFU))) {
        return {"ERR CNT\r\n"};
    }
    device_.publishImage();
    return {"CNT OK\r\n"};
}

Reply Controller::endRecord() {
    device_.publishImage();
    restart();
    return {"\r\nOK\r\n", false, true};
}

} // namespace devsim
