#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// The terminal log: the terminal window's lines of one program run, written at program end into
// "velkor.log" after the older logs have moved one number up ("velkor1.log" to "velkor5.log";
// the oldest is dropped), so the last six runs are kept.
namespace TerminalLog {

// Moves velkor4.log .. velkor.log one number up and deletes velkor5.log; a failed delete or
// rename is skipped and the next step runs.
void RotateTerminalLogs(const QString& dir);

// The lines as the view shows them: a chunk that holds line breaks (CR LF, LF or CR) becomes
// several lines; a break at the very end of a chunk adds no empty line.
QList<QByteArray> viewLines(const QList<QByteArray>& chunks);

// Rotates, then writes every view line followed by CR LF into a new velkor.log. The file is
// written whole or not at all; false with the reason in error when it could not be written.
// Without any line nothing is rotated or written.
bool SaveTerminalLog(const QString& dir, const QList<QByteArray>& chunks, QString* error = nullptr);

} // namespace TerminalLog
