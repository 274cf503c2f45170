#pragma once

#include <QByteArray>
#include <QFileInfo>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

// Puts the temporary folders made after it into /dev/shm, where the system has it and no
// other place was asked for (TMPDIR).
struct InMemoryTemporaryFolders {
    InMemoryTemporaryFolders() {
        if (qEnvironmentVariableIsEmpty("TMPDIR") &&
            QFileInfo(QStringLiteral("/dev/shm")).isWritable()) {
            qputenv("TMPDIR", "/dev/shm");
        }
    }
};

inline QByteArray fuzzBytes(const std::uint8_t* data, std::size_t size) {
    return QByteArray(reinterpret_cast<const char*>(data), qsizetype(size));
}

// A broken invariant: libFuzzer keeps the input that led here.
#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)
