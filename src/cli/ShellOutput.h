#pragma once

#include <QByteArray>
#include <QString>
#include <cstdio>

// What velkor-cli writes on its standard streams, each piece written at once so that output
// and messages keep their order when both go to one place. On a fleet member's thread the
// pieces go to the member's channel instead (FleetChannel).
//
// A stream whose reader stalls (a pipe nobody reads, a terminal held with Ctrl-S) holds the
// write as long as it stalls, but never past a stop signal: once one came, a piece that cannot
// go out within kStopGraceMs is dropped, and so is all that stream would take later. The run
// then still ends, with its journal entry, instead of hanging in the write.
namespace ShellOutput {

constexpr int kStopGraceMs = 300;

// The bytes as they are.
void write(FILE* stream, const QByteArray& bytes);
// The text in the system's encoding.
void print(FILE* stream, const QString& text);
// "velkor-cli NAME: TEXT" and a line end on standard error.
void report(const QString& subcommand, const QString& text);
// The bytes to the process's own stream, also from a fleet member's thread (the fleet's lines):
// each piece whole among the threads.
void writeToProcess(FILE* stream, const QByteArray& bytes);
// Whether the path names what standard output is (/dev/stdout, /dev/fd/1, the file or pipe it
// is redirected to): data written there and the text printed on standard output meet.
bool isStandardOutput(const QString& path);

} // namespace ShellOutput
