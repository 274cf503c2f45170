#pragma once

#include <QByteArray>
#include <cstdio>

// Takes everything written to standard output (file descriptor 1) into a temporary file, so
// that with --json the result object is the only thing standard output carries; what the
// subcommand printed becomes one of its fields.
class StdoutCapture {
public:
    StdoutCapture();
    ~StdoutCapture();
    StdoutCapture(const StdoutCapture&) = delete;
    StdoutCapture& operator=(const StdoutCapture&) = delete;

    // Gives standard output back and returns what was written to it meanwhile.
    QByteArray finish();

private:
    std::FILE* file_ = nullptr;
    int saved_ = -1;
};
