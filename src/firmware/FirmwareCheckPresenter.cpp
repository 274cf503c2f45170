#include "FirmwareCheckPresenter.h"

#include "core/Loader.h"

namespace {

void showHeader(FormModel& form, const QString& header, qsizetype headerLine) {
    form.edtUnitSign.text = header;
    form.edtUnitSign.tag = int(headerLine);
}

} // namespace

void ShowFirmwareVerdict(const VerdictDisplay& display, const FirmwareVerdict& verdict) {
    FormModel& form = display.form;
    showHeader(form, QString(), -1);
    const QStringList texts = verdict.statusTexts();
    if (texts.isEmpty()) {
        return;
    }
    // "Checking" first: the check's own message always follows it, so a panel never keeps it
    // from an earlier check.
    display.output.setStatus(3, texts.first());
    showHeader(form, verdict.header, verdict.headerLine);
    display.output.setStatus(3, verdict.message);
    if (verdict.sound()) {
        return;
    }
    display.runtime.processEvents();
    display.runtime.sleep(display.refusalShownMs);
    if (texts.size() > 2) {
        display.output.setStatus(3, texts.last());
    }
    showHeader(form, verdict.keptHeader(), verdict.keptHeaderLine());
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
    ShowFirmwareVerdict({loader.form, loader.output, loader.runtime, loader.timings.refusalShownMs},
                        verdict);
    return verdict;
}
