#pragma once

#include "AnswerCounter.h"
#include "FlashImage.h"
#include "SimOptions.h"
#include "StorageMemory.h"

#include <QFile>
#include <QFileInfo>
#include <QString>

namespace devsim {

// One simulated controller's lasting parts: what it says about itself, its storage memory, its
// flash and the count of its answers that the targeted faults aim at. Sessions (connections)
// come and go; the device, its memories and its counts stay.
struct Device {
    Device(const ControllerOptions& controllerOptions, const QString& imageOut,
           const QList<TargetedFault>& targeted = {})
        : options(controllerOptions),
          storage(controllerOptions.pages, controllerOptions.dialect.pageSize),
          imageOutPath(imageOut), answers(targeted) {}

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
    AnswerCounter answers;
    // Appends the controller's id to programmedPath, when one was given: a programming ended.
    void noteProgrammed() const {
        QFile log(programmedPath);
        if (!programmedPath.isEmpty() && log.open(QIODevice::WriteOnly | QIODevice::Append)) {
            log.write(QByteArray::number(id) + '\n');
        }
    }

    // --refuse-ids: every write (record line, storage write) is answered with the injected
    // refusal and does not take effect.
    bool refusesWrites = false;
    std::uint32_t id = 0; // behind the broker, the controller's id
    QString programmedPath;
};

} // namespace devsim
