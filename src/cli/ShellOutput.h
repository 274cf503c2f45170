#pragma once

#include <QByteArray>
#include <QString>
#include <cstdio>

// What velkor-cli writes on its standard streams, each piece flushed at once so that output
// and messages keep their order when both go to one place. On a fleet member's thread the
// pieces go to the member's channel instead (FleetChannel).
namespace ShellOutput {

// The bytes as they are.
void write(FILE* stream, const QByteArray& bytes);
// The text in the system's encoding.
void print(FILE* stream, const QString& text);
// "velkor-cli NAME: TEXT" and a line end on standard error.
void report(const QString& subcommand, const QString& text);
// Whether the path names what standard output is (/dev/stdout, /dev/fd/1, the file or pipe it
// is redirected to): data written there and the text printed on standard output meet.
bool isStandardOutput(const QString& path);

} // namespace ShellOutput
