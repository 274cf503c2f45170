#include "cli/StdoutCapture.h"

#include <unistd.h>

StdoutCapture::StdoutCapture() {
    std::fflush(stdout);
    file_ = std::tmpfile();
    saved_ = dup(STDOUT_FILENO);
    if (file_ == nullptr || saved_ < 0 || dup2(fileno(file_), STDOUT_FILENO) < 0) {
        // Without a temporary file the output stays where it is.
        if (saved_ >= 0) {
            close(saved_);
        }
        saved_ = -1;
    }
}

StdoutCapture::~StdoutCapture() {
    finish();
    if (file_ != nullptr) {
        std::fclose(file_);
    }
}

QByteArray StdoutCapture::finish() {
    if (saved_ < 0) {
        return QByteArray();
    }
    std::fflush(stdout);
    dup2(saved_, STDOUT_FILENO);
    close(saved_);
    saved_ = -1;
    QByteArray captured;
    std::rewind(file_);
    char buffer[4096];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, file_)) > 0) {
        captured.append(buffer, qsizetype(n));
    }
    return captured;
}
