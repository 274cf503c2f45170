#pragma once

#include "VirtualRuntime.h"
#include "core/Dialogs.h"
#include "core/Loader.h"

#include <QByteArray>
#include <QFileInfo>
#include <QTemporaryDir>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

// Dialogs that answer nothing: every question is cancelled, every message dropped.
class SilentDialogs : public Dialogs {
public:
    void showError(const QString&, const QString&) override {}
    void showInformation(const QString&) override {}
    bool confirm(const QString&) override { return false; }
    bool inputQuery(const QString&, const QString&, QString&) override { return false; }
    bool openFile(FileDialogState&) override { return false; }
};

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

// One loader in virtual time for the whole fuzzing run.
struct FuzzLoader {
    QTemporaryDir dataDir;
    VirtualRuntime runtime;
    SilentDialogs dialogs;
    Loader loader{runtime, dialogs, dataDir.path()};
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
