#pragma once

#include "Device.h"
#include "SimOptions.h"

#include <QObject>
#include <QSocketNotifier>
#include <memory>

namespace devsim {

class SessionRunner;

// The controller on a pseudo-terminal, for the loader's serial connection. The simulator keeps
// the slave side open itself (in raw mode), so the master never sees a hang-up while no program
// has the port open; bytes that find no room in the terminal's buffer are lost, as on a serial
// line nobody listens to. The close-after-writes fault restarts the controller here; a damaged
// answer goes out garbled. Input that finds no room on a paced line is lost (kMaxInputInFlight,
// Bounds.h), and answers that pile up past kMaxUnreadOutput restart the controller.
class PtyFrontEnd : public QObject {
    Q_OBJECT
public:
    PtyFrontEnd(Device& device, const SimOptions& options, QObject* parent = nullptr);
    ~PtyFrontEnd() override;

    bool open(QString* error);
    QString slavePath() const { return slavePath_; }

private:
    void readMaster();
    void writeMaster(const QByteArray& bytes);

    Device& device_;
    const SimOptions& options_;
    int master_ = -1;
    int slave_ = -1;
    QString slavePath_;
    std::unique_ptr<QSocketNotifier> notifier_;
    SessionRunner* runner_ = nullptr;
    bool overrun_ = false; // input is being lost (logged once per overrun)
};

} // namespace devsim
