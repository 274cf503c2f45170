#pragma once

#include "Device.h"
#include "FaultPlan.h"
#include "Interpreter.h"
#include "RecordLine.h"
#include "Reply.h"

#include <QByteArray>
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
    // Whether command would write: a record line to the bootloader, or a storage write
    // ("PAGEWRITE") to the command interpreter.
    bool writes(const QByteArray& command) const;
    const Interpreter& interpreter() const { return interpreter_; }

private:
    Reply bootloader(const QByteArray& command);
    Reply record(const QByteArray& line);
    Reply dataRecord(const RecordLine& record);
    Reply countRecord(const RecordLine& record);
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
