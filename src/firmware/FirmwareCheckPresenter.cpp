#include "FirmwareCheckPresenter.h"

#include "core/Loader.h"

void ShowFirmwareVerdict(const VerdictDisplay& display, const FirmwareVerdict& verdict) {
    LoaderOutput& output = display.output;
    output.showHeader(QString(), -1);
    const QStringList texts = verdict.statusTexts();
    if (texts.isEmpty()) {
        return;
    }
    // "Checking" first: the check's own message always follows it, so a panel never keeps it
    // from an earlier check.
    output.setStatus(3, texts.first());
    output.showHeader(verdict.header, verdict.headerLine);
    output.setStatus(3, verdict.message);
    if (verdict.sound()) {
        return;
    }
    display.runtime.processEvents();
    display.runtime.sleep(display.refusalShownMs);
    if (texts.size() > 2) {
        output.setStatus(3, texts.last());
    }
    output.showHeader(verdict.keptHeader(), verdict.keptHeaderLine());
}

bool CheckFirmwareOnForm(const VerdictDisplay& display, const FirmwareImage& image) {
    const FirmwareVerdict verdict = CheckFirmwareLines(image);
    ShowFirmwareVerdict(display, verdict);
    return verdict.sound();
}

bool CheckFirmwareOnForm(Loader& loader, const FirmwareImage& image) {
    return CheckFirmwareShown(loader, image).sound();
}

FirmwareVerdict CheckFirmwareShown(Loader& loader, const FirmwareImage& image) {
    const FirmwareVerdict verdict = CheckFirmwareLines(image);
    ShowFirmwareVerdict({loader.output, loader.runtime, loader.timings.refusalShownMs}, verdict);
    return verdict;
}
