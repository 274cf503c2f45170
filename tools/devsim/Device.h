#pragma once

#include "FlashImage.h"
#include "SimOptions.h"
#include "StorageMemory.h"

#include <QFileInfo>
#include <QString>

namespace devsim {

// One simulated controller's lasting parts: what it says about itself, its storage memory and
// its flash. Sessions (connections) come and go; the device and its memories stay.
struct Device {
    Device(const ControllerOptions& controllerOptions, const QString& imageOut)
        : options(controllerOptions), storage(controllerOptions.pages), imageOutPath(imageOut) {}

    // Writes the flash image to imageOutPath when one was given; false when that fails, with
    // the message in error (or in the log when error is null).
    bool publishImage(QString* error = nullptr) const {
        QString problem;
        if (!imageOutPath.isEmpty() && !flash.save(imageOutPath, &problem)) {
            if (error != nullptr) {
                *error = problem;
            } else {
                qWarning("velkor-devsim: %s", qPrintable(problem));
            }
            return false;
        }
        return true;
    }

    // Whether the image file can be written later: its folder exists and is writable, and an
    // existing file is writable. Nothing is created, so no image file means nothing programmed.
    bool imageWritable(QString* error) const {
        if (imageOutPath.isEmpty()) {
            return true;
        }
        const QFileInfo file(imageOutPath);
        const QFileInfo folder(file.absolutePath());
        if (!folder.isDir() || !folder.isWritable() || (file.exists() && !file.isWritable())) {
            *error = QStringLiteral("cannot write the image file %1").arg(imageOutPath);
            return false;
        }
        return true;
    }

    ControllerOptions options;
    StorageMemory storage;
    FlashImage flash;
    QString imageOutPath;
};

} // namespace devsim
