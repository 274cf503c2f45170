#pragma once

#include "Device.h"
#include "SimOptions.h"

#include <QTcpServer>

namespace devsim {

// Direct TCP connections to the controller: each connection is a session of its own (the
// controller restarts when a connection opens), all sharing the one device. A damaged answer
// goes out garbled. A client that leaves more than kMaxUnreadOutput (Bounds.h) unread, or sends
// more than kMaxInputInFlight ahead on a paced line, is dropped with a line on the log.
class TcpFrontEnd : public QObject {
    Q_OBJECT
public:
    TcpFrontEnd(Device& device, const SimOptions& options, QObject* parent = nullptr);

    bool listen(int port, QString* error);
    QString address() const;

private:
    void accept();

    Device& device_;
    const SimOptions& options_;
    QTcpServer server_;
    std::uint32_t sessions_ = 0;
};

} // namespace devsim
