#include "FileSelection.h"

#include "FirmwareCheckPresenter.h"
#include "FirmwareImage.h"
#include "core/Loader.h"

FirmwareVerdict chooseFirmware(Loader& loader, const QString& path) {
    loader.state.FirmwareFilePath = path;
    const FirmwareImage image = FirmwareImage::load(path);
    FirmwareVerdict verdict = CheckFirmwareShown(loader, image);
    if (!verdict.sound()) {
        loader.state.FirmwareFilePath.clear();
    }
    return verdict;
}
