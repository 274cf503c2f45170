#pragma once

#include "Device.h"
#include "FaultPlan.h"
#include "Reply.h"

#include <QByteArray>
#include <cstdint>

namespace devsim {

// The controller's command interpreter for one session: login, page mode, the current page,
// address and read count, the line counter of page writes, and the check and install of a
// firmware stored in the storage memory.
//
// The firmware area starts at page 70: addresses 0-3 hold the text length, 4-5 the CRC-16/MODBUS
// of the text (both low byte first), and the text itself starts at address 10.
class Interpreter {
public:
    static constexpr int kFirmwarePage = 70;
    static constexpr int kTextAddress = 10;
    static constexpr int kMaxReadCount = 1024;

    Interpreter(Device& device, FaultPlan* faults);

    // Forgets the session: login, mode, position, counter (a restart of the controller).
    void reset();
    Reply handle(const QByteArray& command);

    // Session state, visible for tests. After a write that ended at a page's end, with the
    // dialect's page-end, the position is that page's end (the address is the page size) until
    // the next write or read moves on to the next page.
    bool hexMode() const { return hexMode_; }
    int page() const;
    int address() const;
    std::uint32_t lineCounter() const { return counter_; }

private:
    const Dialect& dialect() const { return device_.options.dialect; }
    int pageSize() const { return device_.storage.pageSize(); }
    QByteArray writeConfirmation(std::uint32_t counter) const;
    Reply password(const QByteArray& argument);
    Reply setFlag(const QByteArray& keyword, const QByteArray& argument, bool* flag);
    Reply setNumber(const QByteArray& keyword, const QByteArray& argument, long low, long high,
                    long* value);
    Reply pageNumber(const QByteArray& argument);
    Reply pageAddress(const QByteArray& argument);
    Reply pageWrite(const QByteArray& argument);
    Reply pageRead();
    Reply reprogram(const QByteArray& argument);
    bool accessAllowed() const;

    Device& device_;
    FaultPlan* faults_;
    bool granted_ = false;
    bool hexMode_ = false;
    bool modem_ = false;
    long debug_ = 0;
    long silence_ = 0;
    long readCount_ = 16;
    qsizetype position_ = 0;
    bool atPageEnd_ = false;
    std::uint32_t counter_ = 0;
};

} // namespace devsim
