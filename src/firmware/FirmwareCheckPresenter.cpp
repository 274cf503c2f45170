#include "FirmwareCheckPresenter.h"

#include "core/Loader.h"

namespace {

void showHeader(Loader& loader, const QString& header, qsizetype headerLine) {
    loader.form.edtUnitSign.text = header;
    loader.form.edtUnitSign.tag = int(headerLine);
}

} // namespace

void ShowFirmwareVerdict(Loader& loader, const FirmwareVerdict& verdict) {
    showHeader(loader, QString(), -1);
    const QStringList texts = verdict.statusTexts();
    if (texts.isEmpty()) {
        return;
    }
    // The first text, "checking", is written only when the panel does not already hold it, so
    // observers hear of a change only.
    if (loader.form.Status[3] != texts.first()) {
        loader.setStatus(3, texts.first());
    }
    showHeader(loader, verdict.header, verdict.headerLine);
    loader.setStatus(3, verdict.message);
    if (verdict.sound()) {
        return;
    }
    loader.runtime.processEvents();
    loader.runtime.sleep(loader.timings.refusalShownMs);
    if (texts.size() > 2) {
        loader.setStatus(3, texts.last());
    }
    showHeader(loader, verdict.keptHeader(), verdict.keptHeaderLine());
}

bool CheckFirmwareOnForm(Loader& loader, const FirmwareImage& image) {
    const FirmwareVerdict verdict = CheckFirmwareLines(image);
    ShowFirmwareVerdict(loader, verdict);
    return verdict.sound();
}
