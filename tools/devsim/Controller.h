#pragma once

#include "Device.h"
#include "FaultPlan.h"
#include "Interpreter.h"
#include "RecordLine.h"
#include "Reply.h"

#include <QByteArray>
#include <optional>
#include <set>

namespace devsim {

// One session with a simulated controller, independent of how bytes reach it. After a restart
// the controller shows its banner (repeated by the owner while mode() is Restarting); "i" then
// enters the bootloader, any other command starts the command interpreter. In the bootloader
// "f" erases the flash and starts programming; record lines are checked and stored until an
// end record finishes programming and the controller restarts. A count record (S5, S6) must
// hold the number of distinct data records written.
class Controller {
public:
    enum class Mode { Restarting, Bootloader, Programming, Interpreter };

    Controller(Device& device, FaultPlan* faults);

    Mode mode() const { return mode_; }
    QByteArray banner() const;
    void restart();
    // A controller that has long finished restarting: the interpreter runs, no banner is due.
    void boot();
    Reply handle(const QByteArray& command);
    // The answer to a command refused on purpose (the "refused" fault, --refuse-ids), which then
    // does not take effect: "ERR injected", or with token-errors the refusal of the bootloader
    // or the interpreter, whichever would have taken the command.
    Reply refusal(const QByteArray& command) const;
    // Whether command would write: a record line to the bootloader, or a storage write
    // ("PAGEWRITE") to the command interpreter.
    bool writes(const QByteArray& command) const;
    const Interpreter& interpreter() const { return interpreter_; }

private:
    const Dialect& dialect() const { return device_.options.dialect; }
    QByteArray bootloaderPrompt() const;
    // A record line refused: the plain text, or with token-errors one that holds the letters
    // the loader awaits ("ERROR" for a count or end record, "ERR @address" for a bad checksum,
    // "ERR: flash write failed" for any other).
    QByteArray recordRefusal(const QByteArray& line, const QByteArray& plain,
                             std::optional<std::uint32_t> badChecksumAt = std::nullopt) const;
    Reply bootloader(const QByteArray& command);
    Reply record(const QByteArray& line);
    Reply dataRecord(const RecordLine& record);
    Reply countRecord(const QByteArray& line, const RecordLine& record);
    Reply endRecord();

    Device& device_;
    Interpreter interpreter_;
    Mode mode_ = Mode::Restarting;
    // The addresses of the data records written since "f": a record written again (its answer
    // was lost and the loader sent it once more) is the same record, stored the same way.
    std::set<std::uint32_t> dataRecords_;
    std::set<std::uint32_t> sectors_;
};

} // namespace devsim
