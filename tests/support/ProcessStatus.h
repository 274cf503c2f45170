#pragma once

#include <QByteArray>

// A field of /proc/PID/status in kB (VmHWM: the peak resident memory; VmRSS); -1 once the
// process is gone.
qint64 processStatusKb(qint64 pid, const QByteArray& field);
