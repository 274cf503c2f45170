#include "Controller.h"

#include "RecordLine.h"

namespace devsim {
namespace {

constexpr std::uint32_t kSectorSize = 4096;

QByteArray recordError(RecordError error) {
    switch (error) {
    case RecordError::Type:
        return "ERR TYPE";
    case RecordError::Length:
        return "ERR LEN";
    case RecordError::Checksum:
        return "ERR SUM";
    default:
        return "ERR FMT";
    }
}

// A count (S5, S6) or end record (S7, S8, S9): the loader awaits an "O" in its answer.
bool endsProgramming(const QByteArray& line) {
    return line.size() >= 2 && line[1] >= '5' && line[1] <= '9';
}

} // namespace

Controller::Controller(Device& device, FaultPlan* faults)
    : device_(device), interpreter_(device, faults) {}

QByteArray Controller::banner() const {
    return dialect().lines({"", "UNIT:" + device_.options.unitType + " " + device_.options.version,
                            "BIOS: v2.07, i - loader"});
}

QByteArray Controller::bootloaderPrompt() const {
    return dialect().lines({""}) + "BIOS>";
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
        return {dialect().line("RESET"), false, true};
    }
    switch (mode_) {
    case Mode::Restarting:
        if (command == "i") {
            mode_ = Mode::Bootloader;
            return {bootloaderPrompt()};
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
        return {bootloaderPrompt()};
    }
    if (command == "f") {
        device_.flash.erase();
        sectors_.clear();
        dataRecords_.clear();
        mode_ = Mode::Programming;
        return {dialect().line("f ready")};
    }
    if (command.startsWith('S')) {
        return mode_ == Mode::Programming ? record(command)
                                          : Reply{recordRefusal(command, "ERR SEQ")};
    }
    return {dialect().line("ERR CMD")};
}

Reply Controller::refusal(const QByteArray& command) const {
    const QByteArray plain = "ERR injected";
    if (!dialect().tokenErrors) {
        return {dialect().line(plain)};
    }
    const bool toBootloader = mode_ == Mode::Bootloader || mode_ == Mode::Programming ||
                              (mode_ == Mode::Restarting && command == "i");
    if (!toBootloader) {
        return {dialect().interpreterError("injected")};
    }
    return {command.startsWith('S') ? recordRefusal(command, plain) : dialect().line("ERROR")};
}

QByteArray Controller::recordRefusal(const QByteArray& line, const QByteArray& plain,
                                     std::optional<std::uint32_t> badChecksumAt) const {
    if (!dialect().tokenErrors) {
        return dialect().line(plain);
    }
    if (endsProgramming(line)) {
        return dialect().line("ERROR");
    }
    if (badChecksumAt) {
        return dialect().line(
            "ERR @" + QByteArray::number(*badChecksumAt, 16).toUpper().rightJustified(8, '0'));
    }
    return dialect().line("ERR: flash write failed");
}

Reply Controller::record(const QByteArray& line) {
    const RecordResult result = parseRecordLine(line);
    if (!result.record) {
        const bool badChecksum = result.error == RecordError::Checksum;
        return {recordRefusal(line, recordError(result.error),
                              badChecksum ? std::optional(result.address) : std::nullopt)};
    }
    const RecordLine& record = *result.record;
    if (record.isData()) {
        return dataRecord(record);
    }
    if (record.isCount()) {
        return countRecord(line, record);
    }
    if (record.isEnd()) {
        return endRecord();
    }
    return {"w"}; // the header: taken, not stored
}

Reply Controller::dataRecord(const RecordLine& record) {
    device_.flash.write(record.address, record.data);
    // Records come in ascending order: the hint at the end spares the walk down the tree.
    dataRecords_.insert(dataRecords_.end(), record.address);
    // A record that reaches into a sector not touched before makes the bootloader erase it,
    // which it reports with "@" instead of "w".
    const std::uint32_t first = record.address / kSectorSize;
    const std::uint32_t last =
        (record.address + std::uint32_t(std::max<qsizetype>(record.data.size(), 1)) - 1) /
        kSectorSize;
    bool erased = false;
    for (std::uint32_t sector = first; sector <= last && sector >= first; ++sector) {
        const std::size_t before = sectors_.size();
        sectors_.insert(sectors_.end(), sector);
        erased = sectors_.size() != before || erased;
    }
    Reply reply{erased ? "@" : "w"};
    reply.slow = true;
    return reply;
}

Reply Controller::countRecord(const QByteArray& line, const RecordLine& record) {
    const auto written = std::uint32_t(dataRecords_.size());
    if (record.address != (written & (record.type == 5 ? 0xFFFFU : 0xFFFFFFU))) {
        return {recordRefusal(line, "ERR CNT")};
    }
    device_.publishImage();
    return {dialect().line("CNT OK")};
}

Reply Controller::endRecord() {
    device_.publishImage();
    device_.noteProgrammed();
    restart();
    return {dialect().lines({"", "OK"}), false, true};
}

} // namespace devsim
