#pragma once

#include "FlashImage.h"
#include "SimOptions.h"
#include "StorageMemory.h"

#include <QString>

namespace devsim {

// One simulated controller's lasting parts: what it says about itself, its storage memory and
// its flash. Sessions (connections) come and go; the device and its memories stay.
struct Device {
    Device(const ControllerOptions& controllerOptions, const QString& imageOut)
        : options(controllerOptions), storage(controllerOptions.pages), imageOutPath(imageOut) {}

    // Writes the flash image to imageOutPath when one was given; failures go to the log.
    void publishImage() const {
        QString error;
        if (!imageOutPath.isEmpty() && !flash.save(imageOutPath, &error)) {
            qWarning("velkor-devsim: %s", qPrintable(error));
        }
    }

    ControllerOptions options;
    StorageMemory storage;
    FlashImage flash;
    QString imageOutPath;
};

} // namespace devsim
